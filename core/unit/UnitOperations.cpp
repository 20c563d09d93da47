#include "unit/UnitOperations.h"

#include <algorithm>
#include <cstring>

#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "model/Model.h"
#include "unit/MemoryDirectory.h"
#include "unit/UnitCommands.h"

namespace {

constexpr int kFirmwareTypes = 15;
constexpr int kFirmwareIndex[kFirmwareTypes] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDefaultFirmType = 0;
constexpr const char* kDefaultStoreName = "2 x 2 WAY + Msum";
constexpr const char* kBlanks = " \t\r\n\v\f";

void StoreFirmType(const std::function<void(std::uint8_t)>& storeFirmType)
{
    if (storeFirmType) storeFirmType(model.firmType);
}

// An unsupported firmware type becomes type 0, and the model starts again from its defaults.
void CheckFirmwareType(const std::function<void(std::uint8_t)>& storeFirmType)
{
    StoreFirmType(storeFirmType);
    if (FirmwareIndex(model.firmType) == 0) return;
    model.firmType = kDefaultFirmType;
    LoadDefaults();
    StoreFirmType(storeFirmType);
}

// The sixteen characters the unit gets for a typed name: trailing blanks
// removed (an empty name becomes the default), then a terminator, then blanks.
void StoreNameChars(const std::string& typed, char* name16)
{
    std::string name = typed.substr(0, typed.find_last_not_of(kBlanks) + 1);
    if (name.empty()) name = kDefaultStoreName;
    std::memset(name16, ' ', kNameChars);
    const std::size_t length = std::min<std::size_t>(name.size(), kNameChars);
    std::memcpy(name16, name.data(), length);
    if (length < kNameChars) name16[length] = '\0';
}

std::string LogoLine(const std::string& typed)
{
    std::string line = typed.substr(0, kLogoLineLength);
    for (char& c : line) c = static_cast<char>(c & 0x7F);
    line.resize(kLogoLineLength, ' ');
    return line;
}

SlotRecord RecordFromUnit(int index)
{
    SlotRecord record;
    record.usedByte = model.memUsed[index] != 0 ? 1 : 0;
    std::memcpy(record.name, model.memName[index], strnlen(model.memName[index], kNameChars));
    ModelToImage(record.imageBlock.data());
    std::uint8_t image[kImageSize];
    // A read that fails (or an empty slot) leaves the current setting's image.
    if (record.usedByte && UnitReadMemory(index + 1, image, 1) == kResultDone)
        std::copy_n(image, kImageSize, record.imageBlock.begin());
    return record;
}

}  // namespace

int FirmwareIndex(std::uint8_t firmType) { return firmType < kFirmwareTypes ? kFirmwareIndex[firmType] : -1; }

ConnectResult ConnectUnit(const std::function<void(std::uint8_t)>& storeFirmType)
{
    if (model.connected) {
        DisconnectUnit();
        return ConnectResult::HandshakeFailed;
    }
    std::uint8_t reply[kConnectReplySize];
    if (UnitConnect(reply) != kResultDone) {
        model.connected = 0;
        return ConnectResult::HandshakeFailed;
    }
    model.connected = 1;
    CheckFirmwareType(storeFirmType);
    ReadMemoryDirectory();
    return ReadCurrentIntoModel() == kResultDone ? ConnectResult::Connected : ConnectResult::CurrentReadFailed;
}

void DisconnectUnit()
{
    UnitDisconnect();
    model.connected = 0;
}

void ReadMemoryDirectory()
{
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        std::uint8_t reply[kMemoryNameUsedSize];
        if (UnitReadMemoryName(slot, reply) == kResultDone) ApplyMemoryNameReply(slot, reply);
    }
}

int ReadCurrentIntoModel()
{
    std::uint8_t image[kImageSize];
    const int result = UnitReadCurrent(image);
    if (result == kResultDone) ImageToModel(image);
    return result;
}

int StoreMemorySlot(int slot, const std::string& name)
{
    char name16[kNameChars];
    StoreNameChars(name, name16);
    std::uint8_t image[kImageSize];
    ModelToImage(image);
    const auto block = StoreImageBlock(image);
    return UnitStoreMemory(slot, name16, block.data());
}

int RecallMemorySlot(int slot)
{
    std::uint8_t image[kImageSize];
    const int result = UnitReadMemory(slot, image, 0);
    if (result == kResultDone) ImageToModel(image);
    return result;
}

int DeleteMemorySlot(int slot) { return UnitDeleteMemory(slot); }

MemoryFileImage BuildMemoryFileFromUnit()
{
    std::array<SlotRecord, kMemorySlots> records;
    for (int i = 0; i < kMemorySlots; ++i) records[static_cast<std::size_t>(i)] = RecordFromUnit(i);
    return BuildMemoryFile(records);
}

LoadFileResult LoadMemoryFileIntoUnit(std::span<const std::uint8_t> fileBytes)
{
    const MemoryFileImage file = MemoryFileFromBytes(fileBytes);
    if (!CheckMemoryFileFormat(file)) return LoadFileResult::FormatError;
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord record = ReadSlotRecord(file, i);
        // Only records marked used go to the unit, and only into slots the unit holds a program in.
        if (record.usedByte != 1 || !model.memUsed[i]) continue;
        if (UnitStoreMemory(i + 1, record.name, record.imageBlock.data()) != kResultDone)
            return LoadFileResult::DownloadFailed;
    }
    return LoadFileResult::Loaded;
}

int ResetUnit()
{
    SendParameter(PID_RESET);
    ReadMemoryDirectory();
    return ReadCurrentIntoModel();
}

int WriteLogo(const std::string& line1, const std::string& line2, std::array<std::string, 2>* paddedLines)
{
    const std::string first = LogoLine(line1), second = LogoLine(line2);
    const std::string text = first + second;
    std::memcpy(model.logoText, text.c_str(), text.size() + 1);
    if (paddedLines) *paddedLines = {first, second};
    return UnitWriteLogo();
}
