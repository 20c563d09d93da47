// Any file opened as a memory file: read back as the loader reads it, the
// format check, every slot record, and each record's image unpacked into
// the model and read. Rebuilding a file from the records must give records
// that read back the same, and a file the loader accepts must come back
// byte for byte from its JSON form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ModelReaders.h"
#include "memfile/MemoryFile.h"
#include "memfile/MemoryFileJson.h"
#include "model/MemoryImage.h"

namespace {

void CheckReadBack(std::span<const std::uint8_t> bytes, const MemoryFileImage& file)
{
    const std::size_t kept = std::min(bytes.size(), kMemoryFileSize);
    FUZZ_CHECK(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept), file.begin()));
    FUZZ_CHECK(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(kept), file.end(),
                           [](std::uint8_t b) { return b == 0; }));
}

bool SameRecord(const SlotRecord& a, const SlotRecord& b)
{
    return a.usedByte == b.usedByte && std::strcmp(a.name, b.name) == 0 &&
           std::equal(a.imageBlock.begin(), a.imageBlock.begin() + kImageSize, b.imageBlock.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const MemoryFileImage file = MemoryFileFromBytes(bytes);
    CheckReadBack(bytes, file);
    const bool wellFormed = CheckMemoryFileFormat(file);
    if (size < kTrailerOffset + 8) FUZZ_CHECK(!wellFormed);  // no room for the trailer

    std::array<SlotRecord, kMemorySlots> records;
    for (int i = 0; i < kMemorySlots; ++i) {
        SlotRecord& record = records[static_cast<std::size_t>(i)];
        record = ReadSlotRecord(file, i);
        FUZZ_CHECK(std::memchr(record.name, '\0', sizeof record.name) != nullptr);
        UnpackAndReadModel(record.imageBlock.data());
    }

    if (wellFormed) {
        const auto text = MemoryFileToJson(bytes).dump();
        const std::vector<std::uint8_t> back = MemoryFileFromJson(nlohmann::ordered_json::parse(text));
        FUZZ_CHECK(std::equal(back.begin(), back.end(), bytes.begin(), bytes.end()));
    }

    const MemoryFileImage rebuilt = BuildMemoryFile(records);
    FUZZ_CHECK(CheckMemoryFileFormat(rebuilt));
    for (int i = 0; i < kMemorySlots; ++i)
        FUZZ_CHECK(SameRecord(ReadSlotRecord(rebuilt, i), records[static_cast<std::size_t>(i)]));
    return 0;
}
