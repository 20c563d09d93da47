// An emulated RX7.4 unit served on a pseudo-terminal.
//
// The emulator opens a pty pair, keeps the master side and serves it on its
// own thread; the program under test opens DevicePath() (the slave side) as
// if it were the serial port wired to a real unit. The emulator parses the
// bytes it receives on its own (it shares no code with the program), keeps
// a current setting, six memories and the logo, and answers every exchange
// the way the unit does. Fault switches let tests and demos make it
// misbehave. All public members may be called from any thread.
//
// A fresh unit holds the factory setting as its current setting, six used
// memories named "Preset 1" .. "Preset 6" holding that same setting, and a
// blank logo. The reset message returns the current setting and all six
// memories to that state; the logo stays. Recalling an empty memory leaves
// the current setting alone. A frame is only answered right after an
// attention byte; a frame with a wrong length, sum or trailer, an unknown
// command and a slot outside 1..6 get no answer at all.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct EmulatorFaults {
    bool silent = false;             // answers nothing at all
    bool noFrameAck = false;         // answers the attention byte, never a frame
    bool wrongConnectReply = false;  // the connect reply starts with another byte
    bool splitReplies = false;       // every reply written one byte at a time
    int splitGapMs = 2;              // gap between those bytes
    bool garbageBeforeAck = false;   // junk bytes before each single-byte acknowledgement
    int replyDelayMs = 0;            // wait before every reply
    int hangUpAfterExchanges = -1;   // close the line once this many frames are answered, when the
                                     // program next sends or after a second of quiet (-1: never)
    int paceBaud = 0;                // write and receive at this line rate (0: as fast as possible)
    int silentAfterExchanges = -1;   // answers nothing once this many frames are answered (-1: never)
};

namespace rx74emu {
class EmulatedUnit;
}

struct EmulatedMemory {
    bool used = false;
    std::string name;  // 16 characters, blank padded
    std::array<std::uint8_t, 62> image{};
};

class Rx74Emulator {
public:
    static constexpr int kMemorySlots = 6;
    static constexpr std::size_t kImageBytes = 62;
    static constexpr std::size_t kNameBytes = 16;
    static constexpr std::size_t kLogoBytes = 32;

    explicit Rx74Emulator(EmulatorFaults faults = {});
    ~Rx74Emulator();  // stops its thread, closes the pty
    Rx74Emulator(const Rx74Emulator&) = delete;
    Rx74Emulator& operator=(const Rx74Emulator&) = delete;

    bool Start();  // openpty, start serving; false on failure
    void Stop();
    std::string DevicePath() const;  // the slave side the program opens
    // The unit it serves, apart from the line; the members below that read
    // or set the unit's state and faults are short for the same on it.
    rx74emu::EmulatedUnit& Unit();
    void SetFaults(const EmulatorFaults&);

    std::vector<std::uint8_t> ReceivedBytes() const;                  // all bytes from the program
    std::vector<std::vector<std::uint8_t>> ReceivedPayloads() const;  // payloads of valid frames, in order
    void ClearReceived();

    std::array<std::uint8_t, 62> CurrentImage() const;
    void SetCurrentImage(const std::array<std::uint8_t, 62>&);
    EmulatedMemory Memory(int slot) const;  // slot 1..6; an empty memory outside that range
    void SetMemory(int slot, const EmulatedMemory&);
    std::string Logo() const;  // the 32 logo bytes last written
    int Exchanges() const;     // frames answered so far
    bool HungUp() const;       // the master was closed by the hang-up fault

    bool LoadState(const std::string& path);
    bool SaveState(const std::string& path) const;

    // Called on the serving thread after every change of the stored state
    // (current setting, memories, logo); the program uses it to keep --state.
    // Both callbacks take effect at the next Start().
    void OnStateChanged(std::function<void()> callback);
    // Called on the serving thread with every chunk of traffic: incoming is
    // true for bytes from the program. Used for the --verbose dump.
    void OnTraffic(std::function<void(bool incoming, const std::uint8_t*, std::size_t)> callback);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
