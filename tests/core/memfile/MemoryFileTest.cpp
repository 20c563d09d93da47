#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "memfile/MemoryDocument.h"
#include "memfile/MemoryFile.h"
#include "memfile/MemoryFileRanges.h"
#include "model/MemoryImage.h"
#include "model/Scales.h"

namespace {

std::array<SlotRecord, kMemorySlots> SampleRecords()
{
    std::array<SlotRecord, kMemorySlots> records{};
    for (int i = 0; i < kMemorySlots; ++i) {
        SlotRecord& r = records[static_cast<std::size_t>(i)];
        r.usedByte = i % 2 == 0 ? 1 : 0;
        std::snprintf(r.name, sizeof r.name, "Slot %d", i + 1);
        for (std::size_t b = 0; b < r.imageBlock.size(); ++b)
            r.imageBlock[b] = static_cast<std::uint8_t>(0x80 + i * 7 + b);
    }
    std::strcpy(records[1].name, "ABCDEFGHIJ");  // ten characters
    return records;
}

std::string Text(const MemoryFileImage& file, std::size_t offset, std::size_t length)
{
    return std::string(reinterpret_cast<const char*>(file.data() + offset), length);
}

bool AllZero(const MemoryFileImage& file, std::size_t from, std::size_t to)
{
    return std::all_of(file.begin() + from, file.begin() + to, [](std::uint8_t b) { return b == 0; });
}

TEST(MemoryFileLayout, PutsHeaderRecordsAndTrailerAtTheirOffsetsAndReadsThemBack)
{
    const auto records = SampleRecords();
    const MemoryFileImage file = BuildMemoryFile(records);
    EXPECT_EQ(Text(file, 0, 16), "VNB1.00M        ");
    EXPECT_EQ(Text(file, 688, 16), "VNB1.00M        ");
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord& original = records[static_cast<std::size_t>(i)];
        const std::size_t at = 16 + 112 * static_cast<std::size_t>(i);
        EXPECT_EQ(file[at], i + 1);
        EXPECT_EQ(file[at + 1], original.usedByte);
        EXPECT_EQ(Text(file, at + 2, 3), "MEM");
        EXPECT_TRUE(AllZero(file, at + 5, at + 16));
        EXPECT_TRUE(std::equal(original.imageBlock.begin(), original.imageBlock.begin() + 62, file.begin() + at + 32));
        // The image block's two extra bytes are not stored.
        EXPECT_TRUE(AllZero(file, at + 94, at + 112)) << "record " << i;

        const SlotRecord back = ReadSlotRecord(file, i);
        EXPECT_EQ(back.usedByte, original.usedByte);
        EXPECT_STREQ(back.name, original.name);
        EXPECT_TRUE(std::equal(back.imageBlock.begin(), back.imageBlock.begin() + 62, original.imageBlock.begin()));
        EXPECT_EQ(back.imageBlock[62] | back.imageBlock[63], 0);
    }
    // A ten-character name fills bytes 16..25 of its record, then zeros.
    EXPECT_EQ(Text(file, 128 + 16, 10), "ABCDEFGHIJ");
    EXPECT_TRUE(AllZero(file, 128 + 26, 128 + 32));
}

TEST(MemoryFileFormatCheck, LooksOnlyAtTheMarkersAndRejectsAFileTooShortForItsTrailer)
{
    const MemoryFileImage built = BuildMemoryFile(SampleRecords());
    MemoryFileImage file = built;
    file[8] = 'x';   // the blanks after the marker
    file[16] = 9;    // a slot number
    file[18] = 'Q';  // "MEM"
    EXPECT_TRUE(CheckMemoryFileFormat(file));
    file[7] = 'N';
    EXPECT_FALSE(CheckMemoryFileFormat(file));
    file = built;
    file[695] = ' ';
    EXPECT_FALSE(CheckMemoryFileFormat(file));

    std::vector<std::uint8_t> bytes(built.begin(), built.end());
    const MemoryFileImage shortFile = MemoryFileFromBytes(std::span(bytes).first(695));
    EXPECT_FALSE(CheckMemoryFileFormat(shortFile));
    EXPECT_TRUE(AllZero(shortFile, 695, 704));
    bytes.insert(bytes.end(), 50, 0xEE);  // bytes after the file's size are ignored
    EXPECT_EQ(MemoryFileFromBytes(bytes), built);
}

TEST(MemoryFileFormatCheck, NamesWhatIsWrongWithTheBytes)
{
    const MemoryFileImage built = BuildMemoryFile(SampleRecords());
    std::vector<std::uint8_t> bytes(built.begin(), built.end());
    EXPECT_EQ(MemoryFileFormatProblem(bytes), "");
    EXPECT_EQ(MemoryFileFormatProblem(std::span(bytes).first(500)), "500 of 704 bytes");
    EXPECT_EQ(MemoryFileFormatProblem(std::span(bytes).first(703)), "703 of 704 bytes");
    bytes.push_back(0);
    EXPECT_EQ(MemoryFileFormatProblem(bytes), "more than 704 bytes");
    bytes.pop_back();
    bytes[687] = 0;  // the last byte of the records is no part of the trailer
    EXPECT_EQ(MemoryFileFormatProblem(bytes), "");
    bytes[695] = ' ';
    EXPECT_EQ(MemoryFileFormatProblem(bytes), "no trailer");
    bytes[0] = 'v';
    EXPECT_EQ(MemoryFileFormatProblem(bytes), "no header");
}

// A damaged body behind a valid header: the values the unit never holds are
// named by memory, channel and field, and the boundaries of a range pass.
TEST(MemoryFileRanges, NameTheMemoriesAndFieldsBeyondTheirRanges)
{
    MemoryFileImage file = MemoryDocument().Bytes();
    EXPECT_TRUE(FindOutOfRangeValues(file).empty());

    ParameterModel values{};
    LoadDefaults(values);
    values.delay[kSlotLeftRight] = kDelayStepMax;
    values.limHold[kSlotSub] = 1;
    values.peqGain[PeqIndex(kSlotSub, 1)] = 248;
    std::array<std::uint8_t, kImageSize> image{};
    ModelToImage(values, image.data());
    WriteRecordImage(file, 2, image);
    EXPECT_TRUE(FindOutOfRangeValues(file).empty());

    values.delay[kSlotLeftRight] = kDelayStepMax + 1;
    values.limHold[kSlotSub] = 0;
    values.peqGain[PeqIndex(kSlotSub, 1)] = 249;
    ModelToImage(values, image.data());
    WriteRecordImage(file, 2, image);
    const std::vector<OutOfRangeValue> found = FindOutOfRangeValues(file);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].step, kDelayStepMax + 1);
    EXPECT_EQ(DescribeOutOfRangeValues(found), "memory 3: Left&Right delay, Sub limHold, Sub PEQ band 2 gain");

    WriteRecordImage(file, 4, image);
    EXPECT_EQ(DescribeOutOfRangeValues(FindOutOfRangeValues(file)),
              "memory 3: Left&Right delay, Sub limHold, Sub PEQ band 2 gain\n"
              "memory 5: Left&Right delay, Sub limHold, Sub PEQ band 2 gain");
}

}  // namespace
