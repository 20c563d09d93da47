// The emulated unit apart from its line: it hears what the program sends,
// byte by byte, answers as the unit does and keeps what the unit stores. It
// records every byte and every valid frame it heard, and counts the frames
// it answered.
//
// The faults that decide what it answers act here: silent, no frame
// acknowledgement, wrong connect reply, garbage before acknowledgements,
// silent after n exchanges. Those of time and of the line itself (delays,
// pacing, split replies, hang-up) are for whatever carries its bytes: the
// pseudo-terminal server, or an in-memory line in tests; it reads them from
// Faults() and HangUpDue().
//
// Record, Hear and Forget belong to the one thread that carries the bytes;
// every other member may be called from any thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/UnitResponder.h"
#include "emulator/UnitState.h"
#include "emulator/WireReader.h"

namespace rx74emu {

class EmulatedUnit {
public:
    using Clock = std::chrono::steady_clock;

    explicit EmulatedUnit(EmulatorFaults faults = {});

    // Keeps the bytes of one chunk the program sent, before they are heard.
    void Record(const std::uint8_t* bytes, std::size_t count);
    // Hears one byte that arrived at `arrivedAt` and returns the answer it
    // completes, as it goes on the line (kind None: nothing is sent). A
    // message left unfinished for half a second is dropped first, so that a
    // program that gave up in the middle is heard right at its next attempt.
    Reply Hear(std::uint8_t byte, Clock::time_point arrivedAt);
    // Drops any unfinished message, as a unit switched on afresh.
    void Forget();
    // True once the unit has answered as many frames as the hang-up fault allows.
    bool HangUpDue() const;

    EmulatorFaults Faults() const;
    void SetFaults(const EmulatorFaults&);

    std::vector<std::uint8_t> ReceivedBytes() const;                  // all bytes from the program
    std::vector<std::vector<std::uint8_t>> ReceivedPayloads() const;  // payloads of valid frames, in order
    void ClearReceived();

    Image CurrentImage() const;
    void SetCurrentImage(const Image&);
    EmulatedMemory Memory(int slot) const;  // slot 1..6; an empty memory outside that range
    void SetMemory(int slot, const EmulatedMemory&);
    std::string Logo() const;  // the 32 logo bytes last written
    int Exchanges() const;     // frames answered so far

    bool LoadState(const std::string& path);
    bool SaveState(const std::string& path) const;

private:
    Reply Answer(const WireReader::Message& message);

    mutable std::mutex mutex_;  // guards everything up to the hearing thread's own part
    EmulatorFaults faults_;
    UnitState state_;
    std::vector<std::uint8_t> received_;
    std::vector<std::vector<std::uint8_t>> payloads_;
    int exchanges_ = 0;

    // The hearing thread's own; the responder is called under the mutex, as
    // it changes the state.
    WireReader reader_;
    UnitResponder responder_;
    Clock::time_point lastHeardAt_;
};

}  // namespace rx74emu
