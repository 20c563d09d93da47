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

bool ValidRecord(int i) { return i >= 0 && i < kMemorySlots; }

}  // namespace

MemoryFileImage BuildMemoryFile(const std::array<SlotRecord, kMemorySlots>& records)
{
    MemoryFileImage file{};
    WriteMarker(file.data());
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord& source = records[static_cast<std::size_t>(i)];
        std::uint8_t* record = file.data() + RecordOffset(i);
        record[kRecordSlotNumber] = static_cast<std::uint8_t>(i + 1);
        std::memcpy(record + kRecordTag, "MEM", 3);
        WriteRecordUsed(file, i, source.usedByte);
        WriteRecordName(file, i, std::string(source.name, strnlen(source.name, kRecordNameSize)));
        // Only the 62 image bytes are stored; the record is zero after them.
        WriteRecordImage(file, i, std::span<const std::uint8_t, kImageSize>(source.imageBlock.data(), kImageSize));
    }
    WriteMarker(file.data() + kTrailerOffset);
    return file;
}

void WriteRecordUsed(MemoryFileImage& file, int i, std::uint8_t usedByte)
{
    if (ValidRecord(i)) file[RecordOffset(i) + kRecordUsed] = usedByte;
}

void WriteRecordName(MemoryFileImage& file, int i, const std::string& name)
{
    if (!ValidRecord(i)) return;
    std::uint8_t* field = file.data() + RecordOffset(i) + kRecordName;
    std::memset(field, 0, kRecordNameSize);
    std::memcpy(field, name.data(), std::min(name.size(), kRecordNameSize));
}

void WriteRecordImage(MemoryFileImage& file, int i, std::span<const std::uint8_t, kImageSize> image)
{
    if (ValidRecord(i)) std::copy(image.begin(), image.end(), file.begin() + RecordOffset(i) + kRecordImage);
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

std::string MemoryFileFormatProblem(std::span<const std::uint8_t> bytes)
{
    const std::string size = std::to_string(kMemoryFileSize);
    if (bytes.size() > kMemoryFileSize) return "more than " + size + " bytes";
    if (bytes.size() < kMemoryFileSize) return std::to_string(bytes.size()) + " of " + size + " bytes";
    if (std::memcmp(bytes.data(), kMagic, kMagicLength) != 0) return "no header";
    if (std::memcmp(bytes.data() + kTrailerOffset, kMagic, kMagicLength) != 0) return "no trailer";
    return {};
}

SlotRecord ReadSlotRecord(const MemoryFileImage& file, int i)
{
    SlotRecord record;
    if (!ValidRecord(i)) return record;
    const std::uint8_t* at = file.data() + RecordOffset(i);
    record.usedByte = at[kRecordUsed];
    std::memcpy(record.name, at + kRecordName, kRecordNameSize);
    record.name[kRecordNameSize] = '\0';
    std::copy_n(at + kRecordImage, record.imageBlock.size(), record.imageBlock.begin());
    return record;
}
