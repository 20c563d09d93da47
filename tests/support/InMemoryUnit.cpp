#include "tests/support/InMemoryUnit.h"

#include <stdexcept>

InMemoryUnit::InMemoryUnit(EmulatorFaults faults) : unit_(faults)
{
    line_.SetResponder([this](const std::uint8_t* bytes, int count) { Hear(bytes, count); });
}

void InMemoryUnit::Restart()
{
    hangUpPending_ = false;
    unit_.Forget();
}

// As the emulator on its pseudo-terminal: a due hang-up comes when the
// program sends after the last answer (those bytes never reach the unit);
// a chunk that finds the hang-up already due is heard, then the line goes.
void InMemoryUnit::Hear(const std::uint8_t* bytes, int count)
{
    if (hangUpPending_) {
        line_.HangUp();
        return;
    }
    const EmulatorFaults faults = unit_.Faults();
    if (faults.replyDelayMs > 0 || faults.paceBaud > 0)
        throw std::logic_error("reply delays and pacing need the unit on a pseudo-terminal");
    unit_.Record(bytes, static_cast<std::size_t>(count));
    if (unit_.HangUpDue()) {
        line_.HangUp();
        return;
    }
    const auto now = rx74emu::EmulatedUnit::Clock::now();
    for (int i = 0; i < count; ++i) {
        const rx74emu::Reply reply = unit_.Hear(bytes[i], now);
        Send(reply, faults);
        if (reply.answersFrame && unit_.HangUpDue()) {
            hangUpPending_ = true;
            return;
        }
    }
}

void InMemoryUnit::Send(const rx74emu::Reply& reply, const EmulatorFaults& faults)
{
    if (!faults.splitReplies) {
        line_.Supply(reply.bytes);
        return;
    }
    for (std::uint8_t byte : reply.bytes) line_.Supply({byte});
}
