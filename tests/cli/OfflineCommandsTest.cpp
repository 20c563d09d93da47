#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"

namespace {

using nlohmann::json;

std::string WriteFile(const std::string& name, const std::array<RecordBytes, 6>& records)
{
    const std::string path = TempPath(name);
    WriteBytes(path, MemoryFileBytes(records));
    return path;
}

int Word(const std::uint8_t* at) { return at[0] << 8 | at[1]; }

// One channel block read straight from the bytes, with the unpacker's range rules.
json ExpectedChannel(const std::uint8_t* b)
{
    json channel = {
        {"gain", std::clamp<int>(b[1], 8, 140)},
        {"mute", b[0] >> 7 & 1},
        {"polarity", b[0] >> 6 & 1},
        {"delay", Word(b + 2)},
        {"hpfType", std::min<int>(b[4], 25)},
        {"hpfFreq", std::min(Word(b + 5), 394)},
        {"lpfType", std::min<int>(b[7], 25)},
        {"lpfFreq", std::min(Word(b + 8), 394)},
        {"xoverOn", b[0] >> 5 & 1},
        {"limThreshold", std::min<int>(b[10], 62)},
        {"limAttack", b[11]},
        {"limHold", b[12]},
        {"limDecay", b[13]},
    };
    for (int band = 0; band < 3; ++band) {
        channel["peq"].push_back({{"freq", std::min(Word(b + 22 + 2 * band), 394)},
                                  {"gain", b[16 + band]},
                                  {"bandwidth", 43 - b[19 + band]},
                                  {"flat", b[0] >> band & 1},
                                  {"hiShelf", b[28] >> band & 1},
                                  {"loShelf", b[28] >> (4 + band) & 1}});
    }
    return channel;
}

std::string Latin1(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

json ExpectedInspect(const std::array<RecordBytes, 6>& records)
{
    json slots = json::array();
    for (int i = 0; i < 6; ++i) {
        const RecordBytes& r = records[static_cast<std::size_t>(i)];
        const std::string name = r.name.substr(0, std::min(r.name.find('\0'), std::size_t{16}));
        slots.push_back(
            {{"slot", i + 1},
             {"used", r.used == 1},
             {"name", Latin1(name)},
             {"settings", {{"lr", ExpectedChannel(r.image.data())}, {"sub", ExpectedChannel(r.image.data() + 31)}}}});
    }
    return {{"slots", slots}};
}

struct ResponseLine {
    int step;
    double hz;
    double db;
    std::string dbText;
};

std::vector<ResponseLine> ParseResponse(const std::string& out)
{
    std::vector<ResponseLine> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ResponseLine r{};
        std::string step, hz;
        std::getline(fields, step, '\t');
        std::getline(fields, hz, '\t');
        std::getline(fields, r.dbText);
        r.step = std::stoi(step);
        r.hz = std::stod(hz);
        r.db = std::stod(r.dbText);
        lines.push_back(r);
    }
    return lines;
}

// Hand-made records with every clamp and odd name, then random files: each
// must print what the byte layout says.
std::vector<std::array<RecordBytes, 6>> InspectSamples()
{
    std::array<RecordBytes, 6> odd{};
    odd[0].name = "Stage";
    odd[1].used = 0;
    odd[2].used = 2;                   // only 1 means used
    odd[3].name = "0123456789ABCDEF";  // no terminator in the field
    odd[4].name = std::string("Ca\xE9", 3);
    ImageBytes& image = odd[5].image;
    image[1] = 0;                      // gain below 8
    image[31 + 1] = 200;               // gain above 140
    image[5] = 0x01, image[6] = 0x90;  // frequency 400
    image[19] = 50;                    // bandwidth step -7
    image[31 + 4] = 30;                // filter type above 25
    image[10] = 100;                   // threshold above 62
    image[0] = image[31 + 28] = 0xFF;  // every flag bit, the unused ones too
    std::vector<std::array<RecordBytes, 6>> samples{odd};

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int file = 0; file < 12; ++file) {
        std::array<RecordBytes, 6> records{};
        for (RecordBytes& r : records) {
            r.used = static_cast<std::uint8_t>(byte(random) % 3);
            r.name.clear();
            for (int c = 0; c < 16; ++c) r.name += static_cast<char>(byte(random));
            for (std::uint8_t& b : r.image) b = static_cast<std::uint8_t>(byte(random));
        }
        samples.push_back(records);
    }
    return samples;
}

TEST(CliInspect, PrintsEveryRecordAsTheByteLayoutAndTheUnpackersClampsSay)
{
    const auto samples = InspectSamples();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const CliRun run = RunCli({"inspect", WriteFile("inspect.cmf", samples[i])});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        json printed = json::parse(run.out);
        // The values in units beside the steps are the export's own (checked there).
        json values = json::array();
        for (json& slot : printed["slots"]) {
            values.push_back(slot["values"]);
            slot.erase("values");
        }
        EXPECT_EQ(printed, ExpectedInspect(samples[i])) << "sample " << i;
        if (i == 0) {
            const json& lr = printed["slots"][5]["settings"]["lr"];
            EXPECT_EQ(lr["gain"], 8);
            EXPECT_EQ(values[5]["lr"]["gainDb"], -60.0);
            EXPECT_EQ(lr["peq"][0]["bandwidth"], -7);
            EXPECT_EQ(values[5]["lr"]["peq"][0]["bandwidthOct"], json({{"raw", -7}, {"outOfRange", true}}));
            EXPECT_EQ(printed["slots"][4]["name"], "Ca\u00e9");
        }
    }
}

TEST(CliResponse, PrintsEveryStepWithItsFrequencyAndTheCurveOfTheChosenChannel)
{
    std::array<RecordBytes, 6> records{};
    ImageBytes& image = records[2].image;
    image[31 + 7] = 19;                      // Sub low-pass "12dB Butterworth"
    image[31 + 8] = 0, image[31 + 9] = 238;  // at 1000 Hz
    const std::string path = WriteFile("lowpass.cmf", records);

    const CliRun sub = RunCli({"response", path, "3", "sub"});
    ASSERT_EQ(sub.exitCode, 0) << sub.err;
    const std::vector<ResponseLine> lines = ParseResponse(sub.out);
    ASSERT_EQ(lines.size(), 395u);
    for (int k = 0; k < 395; ++k) {
        EXPECT_EQ(lines[k].step, k);
        const std::size_t point = lines[k].dbText.find('.');
        ASSERT_NE(point, std::string::npos);
        EXPECT_GE(lines[k].dbText.size() - point - 1, 4u) << lines[k].dbText;
    }
    EXPECT_DOUBLE_EQ(lines[0].hz, 10.0);
    EXPECT_DOUBLE_EQ(lines[114].hz, 90.1);
    EXPECT_DOUBLE_EQ(lines[238].hz, 1000.0);
    EXPECT_DOUBLE_EQ(lines[394].hz, 20200.0);
    EXPECT_NEAR(lines[237].db, -3.0, 0.01);
    EXPECT_NEAR(lines[273].db, -12.0, 1e-4);
    EXPECT_EQ(lines[100].db, 0.0);

    const CliRun csv = RunCli({"response", path, "3", "sub", "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    std::string tabbed = sub.out;
    std::replace(tabbed.begin(), tabbed.end(), '\t', ',');
    EXPECT_EQ(csv.out, "step,Hz,dB\n" + tabbed);

    // The same record's Left&Right channel and another record are flat.
    for (const auto& args : {std::vector<std::string>{"response", path, "3", "lr"},
                             std::vector<std::string>{"response", path, "2", "sub"}}) {
        const CliRun flat = RunCli(args);
        ASSERT_EQ(flat.exitCode, 0) << flat.err;
        for (const ResponseLine& line : ParseResponse(flat.out)) EXPECT_EQ(line.db, 0.0);
    }
}

TEST(CliExportImport, TurnAFileIntoJsonAndBackAndRefuseABadDocumentWritingNothing)
{
    std::array<RecordBytes, 6> records{};
    records[1].name = "Club";
    records[1].image[1] = 121;       // Left&Right level -3.5 dB
    records[2].image[31 + 1] = 250;  // Sub level out of range
    const std::string file = WriteFile("show.cmf", records);

    const CliRun printed = RunCli({"export", file});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    json document = json::parse(printed.out);
    EXPECT_EQ(document["format"], "quenbar-memory-file");
    EXPECT_EQ(document["memories"][1]["name"], "Club");
    EXPECT_EQ(document["memories"][1]["lr"]["gainDb"], -3.5);
    EXPECT_EQ(document["memories"][2]["sub"]["gainDb"]["raw"], 250);

    const std::string jsonPath = TempPath("show.json");
    ASSERT_EQ(RunCli({"export", file, jsonPath}).exitCode, 0);
    EXPECT_EQ(json::parse(ReadBytes(jsonPath)), document);
    const std::string copy = TempPath("copy.cmf");
    const CliRun imported = RunCli({"import", jsonPath, copy});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ReadBytes(copy), ReadBytes(file));

    // A level off the half-decibel steps: the path, the nearest steps, and the old file untouched.
    document["memories"][1]["lr"]["gainDb"] = -3.3;
    const std::string bad = TempPath("bad.json");
    const std::string text = document.dump();
    WriteBytes(bad, {text.begin(), text.end()});
    const CliRun refused = RunCli({"import", bad, copy});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("$.memories[1].lr.gainDb: -3.3 dB is not a step"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("-3.5dB and -3.0dB"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(copy), ReadBytes(file));
    WriteBytes(bad, {'{', '"'});
    EXPECT_EQ(RunCli({"import", bad, copy}).exitCode, 2);
    EXPECT_EQ(ReadBytes(copy), ReadBytes(file));
}

TEST(CliOfflineErrors, RejectsMalformedFilesAndBadArgumentsWithExitCode2)
{
    std::vector<unsigned char> bytes = MemoryFileBytes({});
    bytes.resize(695);  // the trailer cut short
    const std::string shortFile = TempPath("short.cmf");
    WriteBytes(shortFile, bytes);
    const std::string good = WriteFile("good.cmf", {});
    const std::vector<std::vector<std::string>> rejected = {
        {"inspect", shortFile},
        {"export", shortFile},
        {"response", shortFile, "1", "lr"},
        {"inspect", TempPath("no-such-file.cmf")},
        {"response", good, "7", "sub"},
        {"response", good, "1", "left"},
        {"inspect"},
        {"frobnicate"},
        {},
    };
    for (const auto& args : rejected) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << run.out;
        EXPECT_EQ(run.out, "");
        if (args.size() > 1 && args[1] == shortFile)
            EXPECT_EQ(run.err, "File format error!\n" + shortFile + ": 695 of 704 bytes.\n");
        else
            EXPECT_FALSE(run.err.empty());
    }
}

}  // namespace
