#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "memory/MemoryFile.h"

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
    return records;
}

std::string Text(const MemoryFileImage& file, std::size_t offset, std::size_t length)
{
    return std::string(reinterpret_cast<const char*>(file.data() + offset), length);
}

bool AllZero(const MemoryFileImage& file, std::size_t from, std::size_t to)
{
    for (std::size_t b = from; b < to; ++b)
        if (file[b] != 0)
            return false;
    return true;
}

TEST(MemoryFileLayout, PutsHeaderRecordsAndTrailerAtTheirOffsets)
{
    auto records = SampleRecords();
    std::strcpy(records[1].name, "ABCDEFGHIJ");  // ten characters
    const MemoryFileImage file = BuildMemoryFile(records);

    EXPECT_EQ(Text(file, 0, 16), "VNB1.00M        ");
    EXPECT_EQ(Text(file, 688, 16), "VNB1.00M        ");
    for (int i = 0; i < kMemorySlots; ++i) {
        const std::size_t at = 16 + 112 * static_cast<std::size_t>(i);
        EXPECT_EQ(file[at], i + 1);
        EXPECT_EQ(file[at + 1], records[static_cast<std::size_t>(i)].usedByte);
        EXPECT_EQ(Text(file, at + 2, 3), "MEM");
        EXPECT_TRUE(AllZero(file, at + 5, at + 16));
        for (std::size_t b = 0; b < 62; ++b)
            ASSERT_EQ(file[at + 32 + b], records[static_cast<std::size_t>(i)].imageBlock[b]);
        // The image block's two extra bytes are not stored.
        EXPECT_TRUE(AllZero(file, at + 94, at + 112)) << "record " << i;
    }
    EXPECT_EQ(Text(file, 16 + 112 + 16, 10), "ABCDEFGHIJ");
    EXPECT_TRUE(AllZero(file, 16 + 112 + 26, 16 + 112 + 32));
    EXPECT_EQ(Text(file, 16 + 16, 7), std::string("Slot 1\0", 7));
}

TEST(MemoryFileLayout, ReadsBackWhatWasBuilt)
{
    const auto records = SampleRecords();
    const MemoryFileImage file = BuildMemoryFile(records);
    ASSERT_TRUE(CheckMemoryFileFormat(file));
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord back = ReadSlotRecord(file, i);
        const SlotRecord& original = records[static_cast<std::size_t>(i)];
        EXPECT_EQ(back.usedByte, original.usedByte);
        EXPECT_STREQ(back.name, original.name);
        for (std::size_t b = 0; b < 62; ++b)
            EXPECT_EQ(back.imageBlock[b], original.imageBlock[b]);
        EXPECT_EQ(back.imageBlock[62], 0);
        EXPECT_EQ(back.imageBlock[63], 0);
    }
}

TEST(MemoryFileLayout, ReadsAnyUsedByteAndASixteenCharacterNameWithItsTerminator)
{
    MemoryFileImage file = BuildMemoryFile(SampleRecords());
    const std::size_t record = 16 + 112 * 3;
    file[record + 1] = 2;
    std::memcpy(file.data() + record + 16, "0123456789ABCDEF", 16);
    file[record + 94] = 0x5A;  // lands in the 64-byte image block
    const SlotRecord r = ReadSlotRecord(file, 3);
    EXPECT_EQ(r.usedByte, 2);
    EXPECT_STREQ(r.name, "0123456789ABCDEF");
    EXPECT_EQ(r.imageBlock[62], 0x5A);
}

TEST(MemoryFileFormatCheck, LooksOnlyAtTheEightMarkerCharactersOfHeaderAndTrailer)
{
    MemoryFileImage file = BuildMemoryFile(SampleRecords());
    file[8] = 'x';         // the blanks after the marker
    file[16] = 9;          // a slot number
    file[18] = 'Q';        // "MEM"
    file[703] = 0;
    EXPECT_TRUE(CheckMemoryFileFormat(file));

    MemoryFileImage badHeader = file;
    badHeader[7] = 'N';
    EXPECT_FALSE(CheckMemoryFileFormat(badHeader));
    MemoryFileImage badTrailer = file;
    badTrailer[695] = ' ';
    EXPECT_FALSE(CheckMemoryFileFormat(badTrailer));
}

TEST(MemoryFileFormatCheck, RejectsAFileTooShortToHoldItsTrailerAndIgnoresExtraBytes)
{
    const MemoryFileImage file = BuildMemoryFile(SampleRecords());
    std::vector<std::uint8_t> bytes(file.begin(), file.end());

    const std::vector<std::uint8_t> truncated(bytes.begin(), bytes.begin() + 695);
    const MemoryFileImage shortFile = MemoryFileFromBytes(truncated);
    EXPECT_FALSE(CheckMemoryFileFormat(shortFile));
    EXPECT_TRUE(AllZero(shortFile, 695, 704));
    EXPECT_FALSE(CheckMemoryFileFormat(MemoryFileFromBytes({})));

    bytes.insert(bytes.end(), 50, 0xEE);
    const MemoryFileImage longFile = MemoryFileFromBytes(bytes);
    EXPECT_EQ(longFile, file);
    EXPECT_TRUE(CheckMemoryFileFormat(longFile));
}

}  // namespace
