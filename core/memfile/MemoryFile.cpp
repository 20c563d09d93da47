#include "memfile/MemoryFile.h"

#include <algorithm>
#include <cstring>

#include "model/MemoryImage.h"

namespace {

constexpr char kMagic[] = "VNB1.00M";
constexpr std::size_t kMagicLength = 8;
constexpr std::size_t kHeaderSize = 16;

// Offsets inside a slot record.
constexpr std::size_t kRecordSlotNumber = 0;
constexpr std::size_t kRecordUsed = 1;
constexpr std::size_t kRecordTag = 2;
constexpr std::size_t kRecordName = 16;
constexpr std::size_t kRecordNameSize = 16;
constexpr std::size_t kRecordImage = 32;

constexpr std::size_t RecordOffset(int i) { return kSlotRecordsOffset + kSlotRecordSize * static_cast<std::size_t>(i); }

// "VNB1.00M" and eight blanks: the header, and again the trailer.
void WriteMarker(std::uint8_t* at)
{
    std::memset(at, ' ', kHeaderSize);
    std::memcpy(at, kMagic, kMagicLength);
}

void WriteRecord(std::uint8_t* record, int i, const SlotRecord& source)
{
    record[kRecordSlotNumber] = static_cast<std::uint8_t>(i + 1);
    record[kRecordUsed] = source.usedByte;
    std::memcpy(record + kRecordTag, "MEM", 3);
    // The name up to its terminator; the rest of the field stays zero.
    const std::size_t nameLength = strnlen(source.name, kRecordNameSize);
    std::memcpy(record + kRecordName, source.name, nameLength);
    // Only the 62 image bytes are stored; the record is zero after them.
    std::copy_n(source.imageBlock.begin(), kImageSize, record + kRecordImage);
}

}  // namespace

MemoryFileImage BuildMemoryFile(const std::array<SlotRecord, kMemorySlots>& records)
{
    MemoryFileImage file{};
    WriteMarker(file.data());
    for (int i = 0; i < kMemorySlots; ++i)
        WriteRecord(file.data() + RecordOffset(i), i, records[static_cast<std::size_t>(i)]);
    WriteMarker(file.data() + kTrailerOffset);
    return file;
}

MemoryFileImage MemoryFileFromBytes(std::span<const std::uint8_t> bytes)
{
    MemoryFileImage file{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kMemoryFileSize), file.begin());
    return file;
}

bool CheckMemoryFileFormat(const MemoryFileImage& file)
{
    return std::memcmp(file.data(), kMagic, kMagicLength) == 0 &&
           std::memcmp(file.data() + kTrailerOffset, kMagic, kMagicLength) == 0;
}

SlotRecord ReadSlotRecord(const MemoryFileImage& file, int i)
{
    SlotRecord record;
    if (i < 0 || i >= kMemorySlots) return record;
    const std::uint8_t* at = file.data() + RecordOffset(i);
    record.usedByte = at[kRecordUsed];
    std::memcpy(record.name, at + kRecordName, kRecordNameSize);
    record.name[kRecordNameSize] = '\0';
    std::copy_n(at + kRecordImage, record.imageBlock.size(), record.imageBlock.begin());
    return record;
}
