#include "unit/UnitCommands.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/Frame.h"
#include "link/Link.h"
#include "link/ParameterMessages.h"
#include "model/Model.h"
#include "unit/MemoryDirectory.h"

namespace {

constexpr int kImageBytes = kImageReplySize - 3;

// Puts the recogniser back to idle when an operation ends, however it ends.
struct IdleAfterOperation {
    Link& link;
    ~IdleAfterOperation() { link.EndOperation(); }
};

bool Attention(Link& link) { return link.Step(kReplyP, &kAttentionByte, 1); }

bool FramedStep(Link& link, const std::vector<std::uint8_t>& payload, int expectedReply)
{
    const std::vector<std::uint8_t> frame = FrameOf(payload);
    return link.Step(expectedReply, frame.data(), static_cast<int>(frame.size()));
}

bool Connected(Link& link) { return link.Model().connected != 0; }

bool ValidSlot(int slot) { return slot >= 1 && slot <= kMemorySlots; }

// The attention step and one framed step awaiting a block, whose first
// `keep` bytes are copied out.
int BlockCommand(Link& link, const std::vector<std::uint8_t>& payload, int blockSize, std::uint8_t* out, int keep)
{
    IdleAfterOperation idle{link};
    if (!Connected(link)) return kResultNotConnected;
    if (!Attention(link) || !FramedStep(link, payload, ReplyBlock(blockSize))) return kResultNoAnswer;
    link.CopyReply(out, keep);
    return kResultDone;
}

}  // namespace

int SendFramed(Link& link, const std::uint8_t* frame, int length)
{
    IdleAfterOperation idle{link};
    if (!Connected(link)) return kResultNotConnected;
    if (!Attention(link) || !link.Step(kReplyQ, frame, length)) return kResultNoAnswer;
    return kResultDone;
}

int SendCommand(Link& link, std::uint8_t code, std::uint8_t value)
{
    const std::vector<std::uint8_t> frame = FrameOf(CommandPayload(code, value));
    return SendFramed(link, frame.data(), static_cast<int>(frame.size()));
}

Handshake UnitHandshake(Link& link)
{
    IdleAfterOperation idle{link};
    Handshake handshake;
    const auto fail = [&link, &handshake](HandshakeFailure failure) {
        handshake.failure = link.Cancelled() ? HandshakeFailure::Cancelled : failure;
        handshake.firstByte = link.FirstByteOfStep();
        return handshake;
    };
    if (!Attention(link))
        return fail(link.FirstByteOfStep() < 0 ? HandshakeFailure::NoAttentionAnswer
                                               : HandshakeFailure::WrongAttentionAnswer);
    if (!FramedStep(link, CommandPayload(kCodeConnect, 0), ReplyBlock(kConnectReplySize)))
        return fail(HandshakeFailure::NoConnectAnswer);
    link.CopyReply(handshake.reply.data(), kConnectReplySize);
    if (handshake.reply[0] != kConnectAccepted) return fail(HandshakeFailure::WrongConnectAnswer);
    return handshake;
}

std::string DescribeHandshakeFailure(const Handshake& handshake)
{
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(handshake.firstByte & 0xFF));
    const std::string mismatch = ": another kind of device, or a baud-rate mismatch";
    switch (handshake.failure) {
        case HandshakeFailure::None:
            return {};
        case HandshakeFailure::NoAttentionAnswer:
            return "no answer to the attention byte: check the cable, the unit's power and the port";
        case HandshakeFailure::WrongAttentionAnswer:
            return "the attention byte was answered with " + std::string(byte) + ", not \"P\"" + mismatch;
        case HandshakeFailure::NoConnectAnswer:
            return "the unit answered the attention byte but not the connect frame";
        case HandshakeFailure::WrongConnectAnswer:
            return "the connect answer starts with " + std::string(byte) + ", not \"Q\"" + mismatch;
        case HandshakeFailure::Cancelled:
            return "cancelled";
    }
    return {};
}

int UnitConnect(Link& link, std::uint8_t* reply16)
{
    const Handshake handshake = UnitHandshake(link);
    std::copy(handshake.reply.begin(), handshake.reply.end(), reply16);
    return handshake.failure == HandshakeFailure::None ? kResultDone : kResultNoAnswer;
}

int UnitDisconnect(Link& link)
{
    IdleAfterOperation idle{link};
    Attention(link);
    // Awaiting "idle" ends the short wait at the first byte of any value.
    const std::vector<std::uint8_t> frame = FrameOf(CommandPayload(kCodeDisconnect, 0));
    link.Step(kReplyIdle, frame.data(), static_cast<int>(frame.size()), kDisconnectTimeoutMs);
    return kResultDone;
}

int UnitReadCurrent(Link& link, std::uint8_t* image62)
{
    return BlockCommand(link, CommandPayload(kCodeReadCurrent, 0), kImageReplySize, image62, kImageBytes);
}

int UnitReadMemoryName(Link& link, int slot, std::uint8_t* reply18)
{
    if (!ValidSlot(slot)) return Connected(link) ? kResultNoAnswer : kResultNotConnected;
    return BlockCommand(link, ReadMemoryNamePayload(slot), kMemoryNameReplySize, reply18, kMemoryNameUsedSize);
}

int UnitReadMemory(Link& link, int slot, std::uint8_t* image62, int mode)
{
    if (!ValidSlot(slot)) return Connected(link) ? kResultNoAnswer : kResultNotConnected;
    const std::uint8_t code = mode == 0 ? kCodeRecallMemory : kCodeReadMemory;
    return BlockCommand(link, CommandPayload(code, static_cast<std::uint8_t>(slot)), kImageReplySize, image62,
                        kImageBytes);
}

int UnitStoreMemory(Link& link, int slot, const char* name16, const std::uint8_t* imageBlock64)
{
    IdleAfterOperation idle{link};
    if (!Connected(link)) return kResultNotConnected;
    if (!ValidSlot(slot)) return kResultNoAnswer;
    const auto nameField = StoreNameField(name16);
    if (!Attention(link) ||
        !FramedStep(link, CommandPayload(kCodeStoreMemory, static_cast<std::uint8_t>(slot)), kReplyAny) ||
        !link.Step(kReplyS, imageBlock64, kStoreBlockSize) ||
        !link.Step(ReplyBlock(kStoreNameReplySize), nameField.data(), kStoreNameFieldSize))
        return kResultNoAnswer;
    SetMemoryEntry(link.Model(), slot, name16, true);
    return kResultDone;
}

int UnitDeleteMemory(Link& link, int slot)
{
    if (!ValidSlot(slot)) return Connected(link) ? kResultNoAnswer : kResultNotConnected;
    return SendCommand(link, kCodeDeleteMemory, static_cast<std::uint8_t>(slot));
}

int UnitWriteLogo(Link& link)
{
    IdleAfterOperation idle{link};
    if (!Connected(link)) return kResultNotConnected;
    const auto logo = LogoBytes(link.Model().logoText);
    if (!Attention(link) || !FramedStep(link, LogoCommandPayload(), kReplyAny) ||
        !link.Step(kReplyQ, logo.data(), kLogoBytes))
        return kResultNoAnswer;
    return kResultDone;
}

int SendParameter(Link& link, int id)
{
    const std::vector<std::uint8_t> payload = ParameterPayload(link.Model(), id);
    if (payload.empty()) return kResultNoAnswer;
    const std::vector<std::uint8_t> frame = FrameOf(payload);
    return SendFramed(link, frame.data(), static_cast<int>(frame.size()));
}
