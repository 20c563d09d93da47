#include "unit/UnitCommands.h"

#include <vector>

#include "link/Frame.h"
#include "link/Transport.h"
#include "model/Model.h"
#include "unit/MemoryDirectory.h"

namespace {

constexpr std::uint8_t kConnectAccepted = 0x51;
constexpr int kImageBytes = kImageReplySize - 3;

// Puts the recogniser back to idle when an operation ends, however it ends.
struct IdleAfterOperation {
    ~IdleAfterOperation() { g_expectedReply.store(kReplyIdle); }
};

// One exchange step: expect, write, wait. True when the answer came in time.
bool Step(int expectedReply, const std::uint8_t* bytes, int count, int timeoutMs = kStepTimeoutMs)
{
    CommBeginStep(expectedReply);
    CommWrite(bytes, count);
    return CommWaitReply(timeoutMs) == 0;
}

bool Attention() { return Step(kReplyP, &kAttentionByte, 1); }

bool FramedStep(const std::vector<std::uint8_t>& payload, int expectedReply)
{
    const std::vector<std::uint8_t> frame = FrameOf(payload);
    return Step(expectedReply, frame.data(), static_cast<int>(frame.size()));
}

bool ValidSlot(int slot) { return slot >= 1 && slot <= kMemorySlots; }

// The attention step and one framed step awaiting a block, whose first
// `keep` bytes are copied out.
int BlockCommand(const std::vector<std::uint8_t>& payload, int blockSize, std::uint8_t* out, int keep)
{
    IdleAfterOperation idle;
    if (!model.connected) return kResultNotConnected;
    if (!Attention() || !FramedStep(payload, ReplyBlock(blockSize))) return kResultNoAnswer;
    CommCopyReply(out, keep);
    return kResultDone;
}

}  // namespace

int SendFramed(const std::uint8_t* frame, int length)
{
    IdleAfterOperation idle;
    if (!model.connected) return kResultNotConnected;
    if (!Attention() || !Step(kReplyQ, frame, length)) return kResultNoAnswer;
    return kResultDone;
}

int SendCommand(std::uint8_t code, std::uint8_t value)
{
    const std::vector<std::uint8_t> frame = FrameOf(CommandPayload(code, value));
    return SendFramed(frame.data(), static_cast<int>(frame.size()));
}

int UnitConnect(std::uint8_t* reply16)
{
    IdleAfterOperation idle;
    if (!Attention() || !FramedStep(CommandPayload(kCodeConnect, 0), ReplyBlock(kConnectReplySize)))
        return kResultNoAnswer;
    CommCopyReply(reply16, kConnectReplySize);
    return reply16[0] == kConnectAccepted ? kResultDone : kResultNoAnswer;
}

int UnitDisconnect()
{
    IdleAfterOperation idle;
    Attention();
    // Awaiting "idle" ends the short wait at the first byte of any value.
    const std::vector<std::uint8_t> frame = FrameOf(CommandPayload(kCodeDisconnect, 0));
    Step(kReplyIdle, frame.data(), static_cast<int>(frame.size()), kDisconnectTimeoutMs);
    return kResultDone;
}

int UnitReadCurrent(std::uint8_t* image62)
{
    return BlockCommand(CommandPayload(kCodeReadCurrent, 0), kImageReplySize, image62, kImageBytes);
}

int UnitReadMemoryName(int slot, std::uint8_t* reply18)
{
    if (!ValidSlot(slot)) return model.connected ? kResultNoAnswer : kResultNotConnected;
    return BlockCommand(ReadMemoryNamePayload(slot), kMemoryNameReplySize, reply18, kMemoryNameUsedSize);
}

int UnitReadMemory(int slot, std::uint8_t* image62, int mode)
{
    if (!ValidSlot(slot)) return model.connected ? kResultNoAnswer : kResultNotConnected;
    const std::uint8_t code = mode == 0 ? kCodeRecallMemory : kCodeReadMemory;
    return BlockCommand(CommandPayload(code, static_cast<std::uint8_t>(slot)), kImageReplySize, image62, kImageBytes);
}

int UnitStoreMemory(int slot, const char* name16, const std::uint8_t* imageBlock64)
{
    IdleAfterOperation idle;
    if (!model.connected) return kResultNotConnected;
    if (!ValidSlot(slot)) return kResultNoAnswer;
    const auto nameField = StoreNameField(name16);
    if (!Attention() || !FramedStep(CommandPayload(kCodeStoreMemory, static_cast<std::uint8_t>(slot)), kReplyAny) ||
        !Step(kReplyS, imageBlock64, kStoreBlockSize) ||
        !Step(ReplyBlock(kStoreNameReplySize), nameField.data(), kStoreNameFieldSize))
        return kResultNoAnswer;
    SetMemoryEntry(slot, name16, true);
    return kResultDone;
}

int UnitDeleteMemory(int slot)
{
    if (!ValidSlot(slot)) return model.connected ? kResultNoAnswer : kResultNotConnected;
    return SendCommand(kCodeDeleteMemory, static_cast<std::uint8_t>(slot));
}

int UnitWriteLogo()
{
    IdleAfterOperation idle;
    if (!model.connected) return kResultNotConnected;
    const auto logo = LogoBytes(model.logoText);
    if (!Attention() || !FramedStep(LogoCommandPayload(), kReplyAny) || !Step(kReplyQ, logo.data(), kLogoBytes))
        return kResultNoAnswer;
    return kResultDone;
}
