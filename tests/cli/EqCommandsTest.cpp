// "eq import" and "eq fit": the proposal as printed, and where it goes (a
// memory file's record, the emulated unit).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "emulator/Emulator.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"

namespace {

using nlohmann::json;

std::string WriteText(const std::string& name, const std::string& text)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const std::string kFilters =
    "Preamp: -3.2 dB\n"
    "Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41\n"
    "Filter 2: ON LSC Fc 80 Hz Gain 4 dB\n"
    "Filter 3: ON NO Fc 60 Hz\n";

// Flat at 80 dB with a 6 dB bump about 300 Hz, 1/18 octave apart, with
// tabs and decimal commas.
std::string BumpMeasurement()
{
    std::ostringstream text;
    text << "* made by the test\n";
    for (int i = 0; i < 200; ++i) {
        const double hz = 10.0 * std::exp2(i / 18.0);
        const double octaves = std::log2(hz / 300.0);
        std::string line = std::to_string(hz) + "\t" + std::to_string(80.0 + 6.0 * std::exp(-octaves * octaves / 0.2));
        for (char& c : line)
            if (c == '.') c = ',';
        text << line << '\n';
    }
    return text.str();
}

TEST(CliEq, ImportPrintsTheBandsAsDumpDoesBesideTheReport)
{
    const CliRun run = RunCli({"eq", "import", WriteText("filters.txt", kFilters), "sub", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json out = json::parse(run.out);
    EXPECT_EQ(out["peq"][0],
              json({{"freq", 119}, {"gain", 98}, {"bandwidth", 33}, {"flat", 0}, {"hiShelf", 0}, {"loShelf", 0}}));
    EXPECT_EQ(out["peq"][1]["loShelf"], 1);
    EXPECT_EQ(out["peq"][2]["flat"], 1);
    EXPECT_EQ(out["values"][0]["freqHz"], 101.0);
    EXPECT_EQ(out["values"][0]["gainDb"], -3.0);
    EXPECT_EQ(out["gain"], 122);  // -3.0 dB from the factory level of 0 dB
    ASSERT_EQ(out["report"].size(), 4u);
    EXPECT_EQ(out["report"][0]["outcome"], "changed");
    EXPECT_EQ(out["report"][1]["band"], 0);
    EXPECT_EQ(out["report"][3], json({{"line", 4},
                                      {"text", "Filter 3: ON NO Fc 60 Hz"},
                                      {"outcome", "dropped"},
                                      {"detail", "unsupported type NO"}}));
    EXPECT_GT(out["largestDeviationDb"].get<double>(), 0.0);

    const CliRun text = RunCli({"eq", "import", WriteText("filters.txt", kFilters), "lr"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("lr peq 0: 101Hz -3.0dB 0.991oct\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("line 4: dropped: unsupported type NO\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("lr peq 2: flat\nlr gain: -3.0dB\n"), std::string::npos) << text.out;
}

TEST(CliEq, FitPrintsTheProposalTheRmsAndTheCurves)
{
    const std::string measurement = WriteText("room.txt", BumpMeasurement());
    const CliRun run = RunCli({"eq", "fit", measurement, "lr", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json out = json::parse(run.out);
    ASSERT_EQ(out["peq"].size(), 3u);
    EXPECT_EQ(out["peq"][0].size(), 6u);
    EXPECT_FALSE(out.contains("gain"));
    EXPECT_GT(out["rmsBeforeDb"].get<double>(), 1.0);
    EXPECT_LT(out["rmsAfterDb"].get<double>(), 0.3);

    const CliRun csv = RunCli({"eq", "fit", measurement, "lr", "--csv", "--range", "100-1k", "--max-boost", "0"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    std::istringstream lines(csv.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Hz,measured,predicted,target");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 3) << line;
    }
    EXPECT_EQ(rows, 120);  // 101 Hz .. 1000 Hz: steps 119 .. 238
}

TEST(CliEq, RefusesBrokenFilesAndOptionsWithTheReason)
{
    const std::string unsorted = WriteText("unsorted.txt", "* x\n" + BumpMeasurement() + "50 80\n");
    CliRun run = RunCli({"eq", "fit", unsorted, "lr"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unsorted.txt: line 203: frequency 50 Hz is below"), std::string::npos) << run.err;
    const std::string measurement = WriteText("room.txt", BumpMeasurement());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--range", "1000-100"},
                                               {"--range", "100"},
                                               {"--range", "low-1k"},
                                               {"--max-cut", "13"},
                                               {"--slot", "2"},
                                               {"--memory-file", TempPath("none.cmf")},
                                               {"--target", TempPath("missing.txt")}}) {
        std::vector<std::string> command = {"eq", "fit", measurement, "lr"};
        command.insert(command.end(), args.begin(), args.end());
        run = RunCli(command);
        EXPECT_EQ(run.exitCode, 2) << args[0] << " " << args[1];
        EXPECT_FALSE(run.err.empty());
    }
    run = RunCli({"eq", "import", WriteText("notes.txt", "Notes: nothing\n"), "lr"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no filter and no preamp"), std::string::npos) << run.err;
}

TEST(CliEq, WritesIntoOneMemoryOfAFileAndNothingElse)
{
    std::array<RecordBytes, 6> records{};
    records[1].name = "Show";
    records[2].used = 0;
    const std::vector<unsigned char> original = MemoryFileBytes(records);
    const std::string path = TempPath("show.cmf");
    WriteBytes(path, original);

    CliRun run =
        RunCli({"eq", "import", WriteText("filters.txt", kFilters), "lr", "--memory-file", path, "--slot", "3"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Memory 3 of"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(path), original);

    run = RunCli({"eq", "import", WriteText("filters.txt", kFilters), "lr", "--memory-file", path, "--slot", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<unsigned char> expected = original;
    unsigned char* lr = expected.data() + 16 + 112 + 32;  // record 2's image: the Left&Right block
    lr[0] = (lr[0] & ~0x07) | 0x04;                       // band 2 flat, bands 0 and 1 not
    lr[1] = 122;                                          // level -3.0 dB
    lr[16] = 98;                                          // band 0: -3.0 dB
    lr[17] = 168;                                         // band 1: +4.0 dB
    lr[19] = 43 - 33;
    lr[20] = 43 - 24;
    lr[22] = 0, lr[23] = 119;          // 101 Hz
    lr[24] = 0, lr[25] = 85;           // 51.6 Hz
    lr[28] = (lr[28] & ~0x33) | 0x20;  // band 1 low shelf; band 2 keeps its switches
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST(CliEq, SendsTheProposalToTheUnit)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    const CliRun run = RunCli({"eq", "import", WriteText("filters.txt", kFilters), "sub", "--port", unit.DevicePath()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Sent to the unit.\n"), std::string::npos) << run.out;
    const auto image = unit.CurrentImage();
    const std::uint8_t* sub = image.data() + 31;
    EXPECT_EQ(sub[1], 122);
    EXPECT_EQ(sub[16], 98);
    EXPECT_EQ(sub[17], 168);
    EXPECT_EQ(sub[0] & 0x07, 0x04);  // band 2 flat, bands 0 and 1 on
    EXPECT_EQ((sub[22] << 8) | sub[23], 119);
    EXPECT_EQ(sub[28] & 0x33, 0x20);
}

}  // namespace
