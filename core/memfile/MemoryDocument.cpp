#include "memfile/MemoryDocument.h"

#include <algorithm>

#include "model/Model.h"

namespace {

constexpr std::uint8_t kUsed = 1;

bool ValidSlot(int slot) { return slot >= 1 && slot <= kMemorySlots; }

MemoryDocument::Image FactoryImage()
{
    ParameterModel factory{};
    LoadDefaults(factory);
    MemoryDocument::Image image{};
    ModelToImage(factory, image.data());
    return image;
}

}  // namespace

MemoryDocument::MemoryDocument() : current_(FactoryImage())
{
    std::array<SlotRecord, kMemorySlots> records{};
    for (SlotRecord& record : records) std::copy(current_.begin(), current_.end(), record.imageBlock.begin());
    bytes_ = saved_ = BuildMemoryFile(records);
}

bool MemoryDocument::Open(std::span<const std::uint8_t> bytes)
{
    if (!Replace(bytes)) return false;
    MarkSaved();
    return true;
}

bool MemoryDocument::Replace(std::span<const std::uint8_t> bytes)
{
    if (!MemoryFileFormatProblem(bytes).empty()) return false;
    const MemoryFileImage file = MemoryFileFromBytes(bytes);
    bytes_ = file;
    current_ = FactoryImage();
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        if (!Used(slot)) {
            current_ = MemoryImage(slot);
            break;
        }
    }
    return true;
}

bool MemoryDocument::Used(int slot) const
{
    return ValidSlot(slot) && ReadSlotRecord(bytes_, slot - 1).usedByte == kUsed;
}

std::string MemoryDocument::Name(int slot) const
{
    return ValidSlot(slot) ? std::string(ReadSlotRecord(bytes_, slot - 1).name) : std::string();
}

MemoryDocument::Image MemoryDocument::MemoryImage(int slot) const
{
    Image image{};
    if (!ValidSlot(slot)) return image;
    const SlotRecord record = ReadSlotRecord(bytes_, slot - 1);
    std::copy_n(record.imageBlock.begin(), kImageSize, image.begin());
    return image;
}

void MemoryDocument::SetCurrent(const Image& image)
{
    current_ = image;
    for (int slot = 1; slot <= kMemorySlots; ++slot)
        if (!Used(slot)) WriteRecordImage(bytes_, slot - 1, current_);
}

void MemoryDocument::Store(int slot, const std::string& name)
{
    if (!ValidSlot(slot)) return;
    WriteRecordUsed(bytes_, slot - 1, kUsed);
    WriteRecordName(bytes_, slot - 1, name);
    WriteRecordImage(bytes_, slot - 1, current_);
}

void MemoryDocument::Rename(int slot, const std::string& name)
{
    if (ValidSlot(slot)) WriteRecordName(bytes_, slot - 1, name);
}

void MemoryDocument::Delete(int slot)
{
    if (!ValidSlot(slot)) return;
    WriteRecordUsed(bytes_, slot - 1, 0);
    WriteRecordName(bytes_, slot - 1, {});
    WriteRecordImage(bytes_, slot - 1, current_);
}

void MemoryDocument::Recall(int slot)
{
    if (ValidSlot(slot)) SetCurrent(MemoryImage(slot));
}
