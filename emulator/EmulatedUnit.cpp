#include "emulator/EmulatedUnit.h"

namespace rx74emu {
namespace {

constexpr auto kPartialMessageTimeout = std::chrono::milliseconds(500);
// Junk sent before acknowledgements by the garbage fault: none of "P", "Q", "S".
constexpr std::uint8_t kGarbage[] = {0x00, 0xA5, 0xFF};
constexpr std::uint8_t kWrongConnectFirstByte = 0x52;

}  // namespace

EmulatedUnit::EmulatedUnit(EmulatorFaults faults) : faults_(faults) {}

void EmulatedUnit::Record(const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard lock(mutex_);
    received_.insert(received_.end(), bytes, bytes + count);
}

Reply EmulatedUnit::Hear(std::uint8_t byte, Clock::time_point arrivedAt)
{
    if (reader_.Partial() && arrivedAt - lastHeardAt_ >= kPartialMessageTimeout) Forget();
    lastHeardAt_ = arrivedAt;
    const auto message = reader_.Feed(byte);
    return message ? Answer(*message) : Reply{};
}

Reply EmulatedUnit::Answer(const WireReader::Message& message)
{
    std::lock_guard lock(mutex_);
    if (message.kind == WireReader::Kind::Frame) payloads_.push_back(message.bytes);
    const bool fallenSilent = faults_.silentAfterExchanges >= 0 && exchanges_ >= faults_.silentAfterExchanges;
    const bool hears =
        !faults_.silent && !fallenSilent && (message.kind == WireReader::Kind::Attention || !faults_.noFrameAck);
    if (!hears) return {};
    Reply reply = responder_.Respond(message, state_, reader_);
    // Counted before the answer leaves, so that whoever has read the answer
    // also sees it counted.
    if (reply.answersFrame) ++exchanges_;
    if (reply.kind == Reply::Kind::Connect && faults_.wrongConnectReply) reply.bytes[0] = kWrongConnectFirstByte;
    if (reply.kind == Reply::Kind::Acknowledge && faults_.garbageBeforeAck)
        reply.bytes.insert(reply.bytes.begin(), std::begin(kGarbage), std::end(kGarbage));
    return reply;
}

void EmulatedUnit::Forget()
{
    reader_.Reset();
    responder_.Abandon();
}

bool EmulatedUnit::HangUpDue() const
{
    std::lock_guard lock(mutex_);
    return faults_.hangUpAfterExchanges >= 0 && exchanges_ >= faults_.hangUpAfterExchanges;
}

EmulatorFaults EmulatedUnit::Faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

void EmulatedUnit::SetFaults(const EmulatorFaults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

std::vector<std::uint8_t> EmulatedUnit::ReceivedBytes() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::vector<std::uint8_t>> EmulatedUnit::ReceivedPayloads() const
{
    std::lock_guard lock(mutex_);
    return payloads_;
}

void EmulatedUnit::ClearReceived()
{
    std::lock_guard lock(mutex_);
    received_.clear();
    payloads_.clear();
}

Image EmulatedUnit::CurrentImage() const
{
    std::lock_guard lock(mutex_);
    return state_.current;
}

void EmulatedUnit::SetCurrentImage(const Image& image)
{
    std::lock_guard lock(mutex_);
    state_.current = image;
}

EmulatedMemory EmulatedUnit::Memory(int slot) const
{
    if (!ValidSlot(slot)) return {};
    std::lock_guard lock(mutex_);
    return state_.memories[static_cast<std::size_t>(slot - 1)];
}

void EmulatedUnit::SetMemory(int slot, const EmulatedMemory& memory)
{
    if (!ValidSlot(slot)) return;
    std::lock_guard lock(mutex_);
    EmulatedMemory& into = state_.memories[static_cast<std::size_t>(slot - 1)];
    into = memory;
    into.name = PadName(memory.name);
}

std::string EmulatedUnit::Logo() const
{
    std::lock_guard lock(mutex_);
    return state_.logo;
}

int EmulatedUnit::Exchanges() const
{
    std::lock_guard lock(mutex_);
    return exchanges_;
}

bool EmulatedUnit::LoadState(const std::string& path)
{
    std::lock_guard lock(mutex_);
    return state_.Load(path);
}

bool EmulatedUnit::SaveState(const std::string& path) const
{
    UnitState copy;
    {
        std::lock_guard lock(mutex_);
        copy = state_;
    }
    return copy.Save(path);
}

}  // namespace rx74emu
