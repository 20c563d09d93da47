// The soak rig: the real transport opened on an in-process emulated unit on
// a pseudo-terminal, a seeded deck of line faults, and the bookkeeping that
// lets a soak check every exchange against what the unit really received
// and answered.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/UnitBehindLink.h"

namespace soak {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// How long past a step's own time-out an exchange may take before it
// counts as hung: scheduling on a loaded machine and sanitizer slowdown.
inline constexpr int kDeadlineSlackMs = 500;

enum class Fault {
    None,          // a well-behaved unit
    Split,         // every reply one byte at a time
    Garbage,       // junk before every acknowledgement
    ShortDelay,    // replies late, but within the step's time-out
    LateReply,     // replies only after the step's time-out has passed
    Silent,        // answers nothing
    NoFrameAck,    // answers the attention byte, never a frame
    WrongConnect,  // the connect reply starts with the wrong byte
    HangUp,        // closes the line after a few answered frames
};

const char* FaultName(Fault fault);

// True when exchanges under this fault must still succeed.
bool Benign(Fault fault);

// A shuffled deck of faults drawn one stretch at a time, so that even a
// short run meets every fault kind once per deck.
class FaultDeck {
public:
    FaultDeck(std::vector<Fault> deck, std::mt19937& random);
    Fault Draw();

private:
    std::vector<Fault> cards_;
    std::size_t next_;
    std::mt19937& random_;
};

// Soak sizes and seed, from QUENBAR_SOAK_MESSAGES, QUENBAR_SOAK_CONNECTS and
// QUENBAR_SOAK_SEED, with the short CI run as default.
struct SoakSize {
    long messages;
    long connects;
    unsigned seed;
};
SoakSize SoakSizeFromEnvironment();

// Resident set size of this process in KiB (0 when unknown).
long ResidentKiB();

// True in builds whose sanitizer runtime holds freed memory back, where the
// resident size says nothing about leaks (the leak checker covers them).
bool SanitizerHoldsMemory();

long ElapsedMs(Clock::time_point since);

// Emulated unit plus transport. The unit can be restarted after it hung up;
// the transport is then reopened on its new device.
class SoakRig {
public:
    // Starts the unit and opens the transport on it; false on failure.
    bool Open() { return rig_.Open(); }
    // Applies a fault to the unit; `random` picks its parameters.
    void Apply(Fault fault, std::mt19937& random);
    // Frames the unit answers before it hangs up under Fault::HangUp.
    int HangUpAfter() const { return hangUpAfter_; }
    // Back to a well-behaved unit; after a hang-up the unit is restarted and
    // the port reopened. Waits until late replies have arrived and been
    // dropped, so that none of them can answer a later exchange.
    bool Recover(Fault fault);

    rx74emu::EmulatedUnit& Unit() { return rig_.Unit(); }
    Link& UnitLink() { return rig_.LinkToUnit(); }
    ParameterModel& Model() { return rig_.Model(); }

    // Frames the unit has answered since it had answered `before`. The unit
    // counts a frame just after writing its answer, so the program may have
    // the answer first: wait briefly for the count to reach `expected`.
    int FramesAnsweredSince(int before, int expected);

private:
    UnitBehindLink rig_{UnitBehindLink::Wire::PseudoTerminal};
    int hangUpAfter_ = 0;
    int lateReplyMs_ = 0;
};

}  // namespace soak
