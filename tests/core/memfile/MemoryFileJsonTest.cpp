#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "memfile/MemoryFile.h"
#include "memfile/MemoryFileJson.h"
#include "model/ChannelFields.h"
#include "model/MemoryImage.h"
#include "model/Scales.h"

namespace {

using json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// Every field at a random step of its editor's range.
ParameterModel RandomSetting(std::mt19937& random)
{
    ParameterModel model{};
    const auto pick = [&random](const ScaledSteps& steps) {
        return std::uniform_int_distribution<int>(steps.min, steps.max)(random);
    };
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        for (const ChannelField& field : ChannelFields()) field.In(model, slot) = pick(field.steps);
        for (int band = 0; band < kPeqBands; ++band)
            for (const PeqField& field : PeqFields()) field.In(model, slot, band) = pick(field.steps);
    }
    return model;
}

// A file as this program writes it, with random settings and names.
Bytes WrittenFile(std::mt19937& random, std::vector<ParameterModel>* settings = nullptr)
{
    std::array<SlotRecord, kMemorySlots> records;
    for (SlotRecord& record : records) {
        const ParameterModel model = RandomSetting(random);
        if (settings) settings->push_back(model);
        record.usedByte = static_cast<std::uint8_t>(random() % 2);
        const std::size_t length = random() % 11;
        for (std::size_t c = 0; c < length; ++c) record.name[c] = static_cast<char>(' ' + random() % 95);
        ModelToImage(model, record.imageBlock.data());
    }
    const MemoryFileImage file = BuildMemoryFile(records);
    return Bytes(file.begin(), file.end());
}

// Random bytes everywhere but the two format markers; any length the loader accepts.
Bytes ScrambledFile(std::mt19937& random)
{
    const std::size_t lengths[] = {696, 701, 704, 704, 704, 705, 900};
    Bytes bytes(lengths[random() % std::size(lengths)]);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    for (const std::size_t at : {std::size_t{0}, kTrailerOffset}) std::memcpy(bytes.data() + at, "VNB1.00M", 8);
    return bytes;
}

// Through the text, as a person's editor would see it.
Bytes RoundTrip(const Bytes& file) { return MemoryFileFromJson(json::parse(MemoryFileToJson(file).dump(2))); }

TEST(MemoryFileJson, EveryReadableFileComesBackByteForByte)
{
    std::mt19937 random(20260512);
    for (int i = 0; i < 150; ++i) {
        const Bytes written = WrittenFile(random);
        EXPECT_EQ(RoundTrip(written), written) << "written file " << i;
        // Fields in range and no stray bytes: nothing raw to carry.
        const std::string text = MemoryFileToJson(written).dump();
        EXPECT_EQ(text.find("raw"), std::string::npos) << "written file " << i;
        EXPECT_EQ(text.find("otherBytes"), std::string::npos) << "written file " << i;

        const Bytes scrambled = ScrambledFile(random);
        EXPECT_EQ(RoundTrip(scrambled), scrambled) << "scrambled file " << i;
    }
}

// Six used memories holding the factory setting.
std::array<SlotRecord, kMemorySlots> FactoryRecords()
{
    std::array<SlotRecord, kMemorySlots> records;
    ParameterModel model{};
    LoadDefaults(model);
    for (SlotRecord& record : records) {
        record.usedByte = 1;
        ModelToImage(model, record.imageBlock.data());
    }
    return records;
}

TEST(MemoryFileJson, KeepsWhatTheEditorsNeverWriteAsRawValuesAndOtherBytes)
{
    std::array<SlotRecord, kMemorySlots> records = FactoryRecords();
    std::uint8_t* lr = records[0].imageBlock.data();
    lr[1] = 200;                 // gain above 140
    lr[2] = 0x01, lr[3] = 0x2C;  // delay 300
    lr[4] = 26;                  // a filter type with a name, but none the editor offers
    lr[19] = 50;                 // bandwidth step -7
    lr[14] = 0x00;               // a constant byte
    records[0].usedByte = 2;
    const MemoryFileImage built = BuildMemoryFile(records);
    const Bytes file(built.begin(), built.end());
    const json document = MemoryFileToJson(file);
    const json& memory = document["memories"][0];
    const json raw200 = {{"raw", 200}, {"outOfRange", true}};
    EXPECT_EQ(memory["used"], false);
    EXPECT_EQ(memory["usedByte"], 2);
    EXPECT_EQ(memory["lr"]["gainDb"], raw200);
    EXPECT_EQ(memory["lr"]["delayMs"]["raw"], 300);
    EXPECT_FALSE(memory["lr"].contains("delayMetres"));
    EXPECT_EQ(memory["lr"]["hpfType"]["raw"], 26);
    EXPECT_EQ(memory["lr"]["peq"][0]["bandwidthOct"]["raw"], -7);
    EXPECT_EQ(memory["otherBytes"], json({{"46", "00"}}));  // record offset 32 + 14
    EXPECT_EQ(document["memories"][1]["used"], true);
    EXPECT_FALSE(document["memories"][1].contains("usedByte"));
    EXPECT_EQ(RoundTrip(file), file);
}

std::string Printed(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The filter type's word by its documented rule, from the page's name.
std::string WordOfPageName(const std::string& name)
{
    const std::size_t first = name.find_first_not_of(' '), last = name.find_last_not_of(' ');
    std::string word;
    for (const char c : name.substr(first, last - first + 1)) {
        if (c == ' ' || c == '/')
            word += '-';
        else if (c != '=')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (const std::size_t db = word.find("db"); db != std::string::npos) word.replace(db, 2, "dB");
    return word;
}

std::string FrequencyLabel(const json& hz)
{
    return Printed(hz.get<double>() < 100 ? "%.1fHz" : "%.0fHz", hz.get<double>());
}

// The JSON values printed as the pages print them give the pages' texts.
TEST(MemoryFileJson, ValuesInUnitsAgreeWithThePageTexts)
{
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        std::vector<ParameterModel> settings;
        const json document = MemoryFileToJson(WrittenFile(random, &settings));
        for (std::size_t m = 0; m < kMemorySlots; ++m) {
            for (const auto& [key, slot] : {std::pair{"lr", kSlotLeftRight}, std::pair{"sub", kSlotSub}}) {
                const ParameterModel& s = settings[m];
                const json& c = document["memories"][m][key];
                EXPECT_EQ(Printed("%+.1fdB", c["gainDb"]), GainText(s.gain[slot]));
                EXPECT_EQ(c["mute"], s.mute[slot] != 0);
                EXPECT_EQ(c["polarity"], s.polarity[slot] != 0);
                EXPECT_EQ(Printed("%.1f mS", c["delayMs"]), DelayMsText(s.delay[slot]));
                EXPECT_EQ(Printed("%.2f M", c["delayMetres"]), DelayMetresText(s.delay[slot]));
                EXPECT_EQ(Printed("%.2f Ft", c["delayFeet"]), DelayFeetText(s.delay[slot]));
                EXPECT_EQ(c["hpfType"], WordOfPageName(FilterTypeNameAt(s.hpfType[slot])));
                EXPECT_EQ(FrequencyLabel(c["hpfFreqHz"]), FreqLabelAt(s.hpfFreq[slot]));
                EXPECT_EQ(c["lpfType"], WordOfPageName(FilterTypeNameAt(s.lpfType[slot])));
                EXPECT_EQ(FrequencyLabel(c["lpfFreqHz"]), FreqLabelAt(s.lpfFreq[slot]));
                EXPECT_EQ(c["xoverOn"], s.xoverOn[slot] != 0);
                const json& threshold = c["limThresholdDbu"];
                EXPECT_EQ(threshold.is_string() ? "Off" : Printed("%.0f dBu", threshold),
                          ThresholdText(s.limThreshold[slot]));
                EXPECT_EQ(Printed("%.0f", c["limAttackMs"]), LimiterTimeText(s.limAttack[slot]));
                EXPECT_EQ(Printed("%.0f", c["limHoldMs"]), LimiterTimeText(s.limHold[slot]));
                EXPECT_EQ(Printed("%.0f", c["limDecayMs"]), LimiterTimeText(s.limDecay[slot]));
                for (int band = 0; band < kPeqBands; ++band) {
                    const int j = PeqIndex(slot, band);
                    const json& p = c["peq"][static_cast<std::size_t>(band)];
                    EXPECT_EQ(FrequencyLabel(p["freqHz"]), FreqLabelAt(s.peqFreq[j]));
                    EXPECT_EQ(Printed("%.1fdB", p["gainDb"]), Printed("%.1fdB", (s.peqGain[j] - 128) * 0.1));
                    EXPECT_EQ(Printed("%.3f oct", p["bandwidthOct"]), BandwidthText(s.peqBandwidth[j], 0, 0));
                    EXPECT_EQ(p["flat"], s.peqFlat[j] != 0);
                    EXPECT_EQ(p["hiShelf"], s.peqHiShelf[j] != 0);
                    EXPECT_EQ(p["loShelf"], s.peqLoShelf[j] != 0);
                }
            }
        }
    }
}

json GoodDocument() { return MemoryFileToJson(BuildMemoryFile(FactoryRecords())); }

struct BadDocument {
    const char* pointer;        // what is changed
    std::optional<json> value;  // its new value; none: the key is removed
    const char* path;           // where the error is reported
    const char* reason;         // a part of the reason
};

TEST(MemoryFileJson, RejectsABadDocumentWithThePathAndReasonOfItsFirstError)
{
    const BadDocument cases[] = {
        {"/format", "presets", "$.format", "expected \"quenbar-memory-file\""},
        {"/version", 2, "$.version", "this program reads version 1"},
        {"/memories/5", std::nullopt, "$.memories", "expected 6 entries, found 5"},
        {"/memories/2/slot", 1, "$.memories[2].slot", "memory 1 appears twice"},
        {"/memories/0/lr/gainDb", std::nullopt, "$.memories[0].lr.gainDb", "missing"},
        {"/memories/0/lr/gainDB", 0, "$.memories[0].lr.gainDB", "unknown key"},
        {"/memories/0/lr/gain_db", 0, "$.memories[0].lr.gain_db", "unknown key"},
        {"/memories/0/lr/gain-db", 0, "$.memories[0].lr[\"gain-db\"]", "unknown key"},
        {"/memories/0/lr/", 0, "$.memories[0].lr[\"\"]", "unknown key"},
        {"/memories/1/name", 5, "$.memories[1].name", "expected a string"},
        {"/memories/1/sub/mute", 1, "$.memories[1].sub.mute", "expected true or false"},
        {"/memories/0/lr/gainDb", -3.3, "$.memories[0].lr.gainDb",
         "-3.3 dB is not a step of this field; the nearest allowed values are -3.5dB and -3.0dB"},
        {"/memories/0/lr/gainDb", 10, "$.memories[0].lr.gainDb", "the nearest allowed value is +6.0dB"},
        {"/memories/0/sub/peq/1/freqHz", 1250, "$.memories[0].sub.peq[1].freqHz", "1240Hz and 1260Hz"},
        {"/memories/0/sub/peq/1/bandwidthOct", 0.5, "$.memories[0].sub.peq[1].bandwidthOct", "0.486oct and 0.537oct"},
        {"/memories/0/sub/limThresholdDbu", "of", "$.memories[0].sub.limThresholdDbu", "is not a number in dBu"},
        {"/memories/0/lr/hpfType", "48dB-bessel", "$.memories[0].lr.hpfType", "outside the steps 0..25"},
        {"/memories/0/lr/gainDb", json{{"raw", 300}}, "$.memories[0].lr.gainDb.raw", "does not fit"},
        {"/memories/0/lr/delayMetres", 0.5, "$.memories[0].lr.delayMetres", "does not match delayMs"},
        {"/memories/0/lr/peq", json::array(), "$.memories[0].lr.peq", "expected 3 entries"},
        {"/memories/0/usedByte", 2, "$.memories[0].usedByte", "contradicts \"used\""},
        {"/memories/0/name", "K\u00e4se \u20ac", "$.memories[0].name", "U+0001..U+00FF"},
        {"/memories/0/name", "seventeen letters", "$.memories[0].name", "at most 16"},
        {"/memories/0/otherBytes", json{{"33", "ff"}}, "$.memories[0].otherBytes", "fields above hold"},
        {"/memories/0/otherBytes", json{{"110", "0000aa"}}, "$.memories[0].otherBytes[\"110\"]", "the record"},
        {"/memories/0/otherBytes", json{{"5", "xy"}}, "$.memories[0].otherBytes[\"5\"]", "hexadecimal"},
        {"/otherBytes", json{{"20", "00"}}, "$.otherBytes[\"20\"]", "the header (offsets 0..15)"},
        {"/otherBytes", json{{"0", "57"}}, "$.otherBytes", "format marker"},
        {"/length", 700, "$.length", "not all zero"},
    };
    for (const BadDocument& c : cases) {
        json document = GoodDocument();
        const json::json_pointer pointer(c.pointer);
        if (c.value)
            document[pointer] = *c.value;
        else if (pointer.back() == "5")
            document["memories"].erase(5);
        else
            document[pointer.parent_pointer()].erase(pointer.back());
        try {
            MemoryFileFromJson(document);
            ADD_FAILURE() << c.pointer << " accepted";
        } catch (const JsonDocumentError& e) {
            EXPECT_EQ(e.Path(), c.path) << c.pointer;
            EXPECT_NE(e.Reason().find(c.reason), std::string::npos) << c.pointer << ": " << e.Reason();
        }
    }
}

}  // namespace
