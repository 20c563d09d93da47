#include "emulator/UnitResponder.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace rx74emu {
namespace {

constexpr std::uint8_t kP = 0x50, kQ = 0x51, kS = 0x53;

// Command codes (first payload byte) and the payload length each one has.
constexpr std::uint8_t kConnect = 0xC9, kDisconnect = 0xCA, kStore = 0xCB, kRecall = 0xCC, kReadCurrent = 0xCD,
                       kReadName = 0xCE, kReadMemory = 0xD0, kDelete = 0x2E, kLogo = 0xFB;

constexpr std::size_t kStoreImageBlock = 64;  // the image and two padding bytes
constexpr std::size_t kStoreNameBlock = 17;   // 0x01 and the 16 name characters
constexpr std::uint8_t kNameMarker = 0x01;
constexpr char kIdentity[] = "RX7.4 EMULATOR ";  // bytes 1..15 of the connect answer

Reply Acknowledge(std::uint8_t byte, bool answersFrame, bool stateChanged = false)
{
    return {Reply::Kind::Acknowledge, {byte}, answersFrame, stateChanged};
}

// The 65-byte answer to a read: the image, then its 8-bit sum, 0 and "S".
Reply ImageReply(const Image& image, bool stateChanged = false)
{
    std::vector<std::uint8_t> bytes(image.begin(), image.end());
    bytes.push_back(static_cast<std::uint8_t>(std::accumulate(image.begin(), image.end(), 0u)));
    bytes.push_back(0x00);
    bytes.push_back(kS);
    return {Reply::Kind::Block, std::move(bytes), true, stateChanged};
}

// The 21-byte answer to a name read: slot, used flag, 16 name characters, three zeros.
Reply NameReply(int slot, const EmulatedMemory& memory)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(slot), static_cast<std::uint8_t>(memory.used ? 1 : 0)};
    const std::string name = PadName(memory.name);
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.insert(bytes.end(), 3, 0x00);
    return {Reply::Kind::Block, std::move(bytes), true, false};
}

Reply ConnectReply()
{
    std::vector<std::uint8_t> bytes{kQ};
    bytes.insert(bytes.end(), std::begin(kIdentity), std::end(kIdentity) - 1);
    return {Reply::Kind::Connect, std::move(bytes), true, false};
}

bool Is(const std::vector<std::uint8_t>& payload, std::uint8_t code, std::size_t length)
{
    return payload.size() == length && payload[0] == code;
}

}  // namespace

void UnitResponder::Abandon()
{
    awaiting_ = Awaiting::Nothing;
    attentionGiven_ = false;
}

Reply UnitResponder::Respond(const WireReader::Message& message, UnitState& state, WireReader& reader)
{
    switch (message.kind) {
        case WireReader::Kind::Attention:
            attentionGiven_ = true;
            return Acknowledge(kP, false);
        case WireReader::Kind::Frame: {
            const bool given = std::exchange(attentionGiven_, false);
            return given ? RespondToFrame(message.bytes, state, reader) : Reply{};
        }
        case WireReader::Kind::BadFrame:
            attentionGiven_ = false;
            return {};
        case WireReader::Kind::Block:
            return RespondToBlock(message.bytes, state, reader);
    }
    return {};
}

Reply UnitResponder::RespondToFrame(const std::vector<std::uint8_t>& payload, UnitState& state, WireReader& reader)
{
    if (payload.empty()) return {};
    if (Is(payload, kConnect, 2)) return ConnectReply();
    if (Is(payload, kDisconnect, 2)) return Acknowledge(kQ, true);
    if (Is(payload, kReadCurrent, 2)) return ImageReply(state.current);
    if (Is(payload, kLogo, 3) && payload[1] == 0x25 && payload[2] == 0x8A) {
        awaiting_ = Awaiting::LogoText;
        reader.ExpectBlock(Rx74Emulator::kLogoBytes);
        return Acknowledge(kQ, true);
    }
    if (state.ApplyParameter(payload)) return Acknowledge(kQ, true, true);
    return RespondToMemoryCommand(payload, state, reader);
}

Reply UnitResponder::RespondToMemoryCommand(const std::vector<std::uint8_t>& payload, UnitState& state,
                                            WireReader& reader)
{
    const std::uint8_t code = payload[0];
    const std::size_t length = code == kReadName ? 3 : 2;
    if (payload.size() != length || !ValidSlot(payload[1])) return {};
    const int slot = payload[1];
    EmulatedMemory& memory = state.memories[static_cast<std::size_t>(slot - 1)];
    switch (code) {
        case kReadName:
            return NameReply(slot, memory);
        case kReadMemory:
            return ImageReply(memory.image);
        case kRecall:
            // Recalling an empty memory leaves the current setting as it is.
            if (!memory.used) return ImageReply(state.current);
            state.current = memory.image;
            return ImageReply(state.current, true);
        case kDelete:
            memory.used = false;
            memory.name = PadName("");
            return Acknowledge(kQ, true, true);
        case kStore:
            awaiting_ = Awaiting::StoreImage;
            storeSlot_ = slot;
            reader.ExpectBlock(kStoreImageBlock);
            return Acknowledge(kQ, true);
        default:
            return {};
    }
}

Reply UnitResponder::RespondToBlock(const std::vector<std::uint8_t>& block, UnitState& state, WireReader& reader)
{
    const Awaiting step = std::exchange(awaiting_, Awaiting::Nothing);
    switch (step) {
        case Awaiting::StoreImage:
            std::copy_n(block.begin(), storeImage_.size(), storeImage_.begin());
            awaiting_ = Awaiting::StoreName;
            reader.ExpectBlock(kStoreNameBlock);
            return Acknowledge(kS, false);
        case Awaiting::StoreName: {
            if (block[0] != kNameMarker) return {};
            EmulatedMemory& memory = state.memories[static_cast<std::size_t>(storeSlot_ - 1)];
            memory = {true, std::string(block.begin() + 1, block.end()), storeImage_};
            return {Reply::Kind::Block, {kQ, static_cast<std::uint8_t>(storeSlot_), kS}, false, true};
        }
        case Awaiting::LogoText:
            state.logo.assign(block.begin(), block.end());
            return Acknowledge(kQ, false, true);
        case Awaiting::Nothing:
            return {};
    }
    return {};
}

}  // namespace rx74emu
