// A serial line in memory, for tests of the link and everything above it:
// no device, no pseudo-terminal. It hands the link serial-line objects
// through Factory() (one per Link::Open, all on this same line) and plays
// the far end itself: it records what the program writes, passes each write
// to a responder (an emulated unit, or the test), and gives the program the
// chunks supplied for it to read, one chunk per read.
//
// Its failures: an open or a set-up that fails with a given LineError, a
// device that hangs up, and silence (no responder, nothing supplied).
// WaitForEvent sleeps on a condition until input, a hang-up or Wake, as the
// real line sleeps in poll(): it never spins.
//
// It lives in the tests tree, not in the core: no program needs a line
// without a device, and the core has no place for the far end's part.
//
// Every member may be called from any thread. The responder runs on the
// thread that writes, after the write is recorded and outside the line's
// lock, so it may supply answers or hang up at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/SerialLine.h"

class FakeSerialLine {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Responder = std::function<void(const std::uint8_t* bytes, int count)>;

    // Serial-line objects for a Link, each on this line.
    LineFactory Factory();

    // Called with every write while the line is open and not hung up.
    void SetResponder(Responder responder);
    // Queues one chunk for the program to read: it arrives in a read of its own.
    void Supply(Bytes chunk);
    // The device goes away: what was supplied can still be read once, then
    // the line reports itself gone and takes no more writes. An open brings
    // it back, as a device plugged in again.
    void HangUp();

    // Every open, or every set-up, fails with `error` until cleared (nullopt).
    void FailOpens(std::optional<LineError> error);
    void FailSetUps(std::optional<LineError> error);

    Bytes Written() const;  // everything the program wrote, in order
    void ClearWritten();
    bool IsOpen() const;
    bool DtrRaised() const;
    std::string Device() const;  // the device the program last opened

private:
    class ProgramEnd;
    friend class ProgramEnd;

    mutable std::mutex mutex_;
    std::condition_variable event_;
    Responder responder_;
    std::deque<Bytes> input_;
    Bytes written_;
    std::optional<LineError> openFailure_;
    std::optional<LineError> setUpFailure_;
    std::string device_;
    bool open_ = false;
    bool dtr_ = false;
    bool hungUp_ = false;
    bool gone_ = false;  // hung up and told so
    bool woken_ = false;
};
