#include "unit/UnitOperations.h"

#include <algorithm>
#include <cstring>

#include "link/Frame.h"
#include "link/Link.h"
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

void StoreFirmType(const ParameterModel& model, const std::function<void(std::uint8_t)>& storeFirmType)
{
    if (storeFirmType) storeFirmType(model.firmType);
}

// An unsupported firmware type becomes type 0, and the model starts again
// from its defaults. Returns the type it replaced.
std::optional<std::uint8_t> CheckFirmwareType(ParameterModel& model,
                                              const std::function<void(std::uint8_t)>& storeFirmType)
{
    StoreFirmType(model, storeFirmType);
    if (FirmwareIndex(model.firmType) == 0) return std::nullopt;
    const std::uint8_t replaced = model.firmType;
    model.firmType = kDefaultFirmType;
    LoadDefaults(model);
    StoreFirmType(model, storeFirmType);
    return replaced;
}

// The sixteen characters the unit gets for a typed name: trailing blanks
// removed (an empty name becomes the default), then a terminator, then blanks.
void StoreNameChars(const std::string& typed, char* name16)
{
    const std::string name = StoreName(typed);
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

// Record `index` (0..5) as the unit holds it; false when the memory is used
// but its read failed.
bool RecordFromUnit(Link& link, int index, SlotRecord& record)
{
    const ParameterModel& model = link.Model();
    record.usedByte = model.memUsed[index] != 0 ? 1 : 0;
    std::memcpy(record.name, model.memName[index], strnlen(model.memName[index], kNameChars));
    ModelToImage(model, record.imageBlock.data());
    if (!record.usedByte) return true;
    std::uint8_t image[kImageSize];
    if (UnitReadMemory(link, index + 1, image, 1) != kResultDone) return false;
    std::copy_n(image, kImageSize, record.imageBlock.begin());
    return true;
}

std::string SlotList(const std::vector<int>& slots)
{
    std::string list;
    for (const int slot : slots) list += (list.empty() ? "" : ", ") + std::to_string(slot);
    return list;
}

std::string SkipReason(std::uint8_t usedByte)
{
    if (usedByte == 0) return "marked empty in the file";
    return "used byte " + std::to_string(usedByte) + ", not a stored program";
}

void Report(const SlotProgress& progress, int slot)
{
    if (progress) progress(slot);
}

}  // namespace

int FirmwareIndex(std::uint8_t firmType) { return firmType < kFirmwareTypes ? kFirmwareIndex[firmType] : -1; }

ConnectReport ConnectUnitWithReport(Link& link, const std::function<void(std::uint8_t)>& storeFirmType)
{
    ConnectReport report;
    ParameterModel& model = link.Model();
    if (model.connected) {
        DisconnectUnit(link);
        return report;
    }
    report.handshake = UnitHandshake(link);
    if (report.handshake.failure != HandshakeFailure::None) {
        model.connected = 0;
        return report;
    }
    model.connected = 1;
    report.replacedFirmType = CheckFirmwareType(model, storeFirmType);
    ReadMemoryDirectory(link);
    report.result =
        ReadCurrentIntoModel(link) == kResultDone ? ConnectResult::Connected : ConnectResult::CurrentReadFailed;
    return report;
}

ConnectResult ConnectUnit(Link& link, const std::function<void(std::uint8_t)>& storeFirmType)
{
    return ConnectUnitWithReport(link, storeFirmType).result;
}

std::string DescribeConnectFailure(const std::string& device, const ConnectReport& report)
{
    return device + ": " + DescribeHandshakeFailure(report.handshake) + ".";
}

std::string DescribeReplacedFirmType(std::uint8_t firmType)
{
    return "The stored firmware type " + std::to_string(firmType) +
           " is not supported: type 0 is used, and the setting starts from its defaults.";
}

void DisconnectUnit(Link& link)
{
    UnitDisconnect(link);
    link.Model().connected = 0;
}

void ReadMemoryDirectory(Link& link)
{
    for (int slot = 1; slot <= kMemorySlots; ++slot) {
        std::uint8_t reply[kMemoryNameUsedSize];
        if (UnitReadMemoryName(link, slot, reply) == kResultDone) ApplyMemoryNameReply(link.Model(), slot, reply);
    }
}

int ReadCurrentIntoModel(Link& link)
{
    std::uint8_t image[kImageSize];
    const int result = UnitReadCurrent(link, image);
    if (result == kResultDone) ImageToModel(link.Model(), image);
    return result;
}

int StoreMemorySlot(Link& link, int slot, const std::string& name)
{
    char name16[kNameChars];
    StoreNameChars(name, name16);
    std::uint8_t image[kImageSize];
    ModelToImage(link.Model(), image);
    const auto block = StoreImageBlock(image);
    return UnitStoreMemory(link, slot, name16, block.data());
}

std::string StoreName(const std::string& typed)
{
    const std::string name = typed.substr(0, typed.find_last_not_of(kBlanks) + 1);
    return name.empty() ? kDefaultStoreName : name;
}

std::string StoredMemoryName(const std::string& typed)
{
    char name16[kNameChars];
    StoreNameChars(typed, name16);
    return ListedName(name16);
}

int RecallMemorySlot(Link& link, int slot)
{
    std::uint8_t image[kImageSize];
    const int result = UnitReadMemory(link, slot, image, 0);
    if (result == kResultDone) ImageToModel(link.Model(), image);
    return result;
}

int DeleteMemorySlot(Link& link, int slot) { return UnitDeleteMemory(link, slot); }

UnitMemoryFile ReadMemoryFileFromUnit(Link& link, const SlotProgress& progress)
{
    UnitMemoryFile result;
    std::array<SlotRecord, kMemorySlots> records;
    for (int i = 0; i < kMemorySlots && !link.Cancelled(); ++i) {
        Report(progress, i + 1);
        if (!RecordFromUnit(link, i, records[static_cast<std::size_t>(i)])) result.unreadSlots.push_back(i + 1);
    }
    // A read that ended because of the cancel is not the unit's fault.
    result.cancelled = link.Cancelled();
    result.bytes = BuildMemoryFile(records);
    return result;
}

LoadFileReport LoadMemoryFileIntoUnit(Link& link, std::span<const std::uint8_t> fileBytes, const SlotProgress& progress)
{
    LoadFileReport report;
    const MemoryFileImage file = MemoryFileFromBytes(fileBytes);
    if (!CheckMemoryFileFormat(file)) {
        report.result = LoadFileResult::FormatError;
        return report;
    }
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord record = ReadSlotRecord(file, i);
        if (record.usedByte != 1) {
            report.skipped.emplace_back(i + 1, record.usedByte);
            continue;
        }
        if (link.Cancelled()) {
            report.result = LoadFileResult::Cancelled;
            return report;
        }
        Report(progress, i + 1);
        if (UnitStoreMemory(link, i + 1, record.name, record.imageBlock.data()) != kResultDone) {
            report.result = link.Cancelled() ? LoadFileResult::Cancelled : LoadFileResult::DownloadFailed;
            report.failedSlot = i + 1;
            return report;
        }
        report.storedSlots.push_back(i + 1);
    }
    return report;
}

std::string DescribeLoad(const LoadFileReport& report)
{
    const std::size_t stored = report.storedSlots.size();
    std::string text = std::to_string(stored) + (stored == 1 ? " memory stored" : " memories stored");
    text += stored == 0 ? "." : ": " + SlotList(report.storedSlots) + ".";
    if (report.skipped.empty()) return text;
    text += "\nSkipped: ";
    for (std::size_t i = 0; i < report.skipped.size(); ++i) {
        const auto& [slot, usedByte] = report.skipped[i];
        text += (i == 0 ? "" : ", ") + ("memory " + std::to_string(slot)) + " (" + SkipReason(usedByte) + ")";
    }
    return text + ".";
}

std::string DescribeSave(const MemoryFileImage& file)
{
    std::vector<int> used, empty;
    for (int i = 0; i < kMemorySlots; ++i) (ReadSlotRecord(file, i).usedByte == 1 ? used : empty).push_back(i + 1);
    std::string text = std::to_string(used.size()) + (used.size() == 1 ? " memory saved" : " memories saved");
    text += used.empty() ? "." : ": " + SlotList(used) + ".";
    if (!empty.empty()) text += "\nEmpty: " + SlotList(empty) + " (holding the current setting).";
    return text;
}

std::string DescribeUnreadSlots(const std::vector<int>& slots, const std::string& outcome)
{
    return "Memory " + SlotList(slots) + " could not be read from the unit; " + outcome + ".";
}

int ResetUnit(Link& link)
{
    SendParameter(link, PID_RESET);
    ReadMemoryDirectory(link);
    return ReadCurrentIntoModel(link);
}

int WriteLogo(Link& link, const std::string& line1, const std::string& line2, std::array<std::string, 2>* paddedLines)
{
    const std::string first = LogoLine(line1), second = LogoLine(line2);
    const std::string text = first + second;
    std::memcpy(link.Model().logoText, text.c_str(), text.size() + 1);
    if (paddedLines) *paddedLines = {first, second};
    return UnitWriteLogo(link);
}
