// What a link reports about its traffic, for a log or a trace: every write,
// every chunk read, how each exchange step ended, and the line opening,
// closing or going away. The link makes an event only while an observer is
// attached, so an unobserved link pays one atomic load per write or read.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

enum class TrafficKind {
    Opened,      // text: the device
    OpenFailed,  // text: the device and why (DescribeLineError)
    Closed,
    Sent,      // bytes: as written; expectedReply: the reply the step awaits
    Received,  // bytes: one chunk as read
    Answered,  // bytes: the answer (the block, or the awaited byte); waitedMs
    TimedOut,  // waitedMs: the step's whole wait
    Cancelled,
    HungUp,  // the device went away (a pulled adapter, a unit that hung up)
    Note,    // text: something worth knowing that is no failure (a refused DTR request)
};

struct TrafficEvent {
    TrafficKind kind = TrafficKind::Sent;
    std::chrono::steady_clock::time_point time;
    std::vector<std::uint8_t> bytes;
    int expectedReply = 0;  // ReplyRecogniser codes: of the step the event belongs to
    int waitedMs = 0;
    std::string text;
};

// Called on the thread that caused the event: the thread that runs the
// link's steps (the caller of the unit operations, or a worker thread) for
// Sent, Answered, TimedOut, Cancelled, Opened and Closed; the link's receive
// thread for Received and HungUp. Calls never overlap, and come in the
// order the events happened. OnTraffic must not call back into the link;
// a window marshals the event to its own thread.
class TrafficObserver {
public:
    virtual ~TrafficObserver() = default;
    virtual void OnTraffic(const TrafficEvent& event) = 0;
};

// The link's end of the observation: one observer at a time.
class TrafficTap {
public:
    // Attaches an observer (nullptr detaches). Waits for a call in progress,
    // so once it returns the previous observer is called no more.
    void Attach(TrafficObserver* observer);
    bool Observed() const { return observer_.load(std::memory_order_acquire) != nullptr; }

    void Emit(TrafficKind kind, std::span<const std::uint8_t> bytes = {}, int expectedReply = 0, int waitedMs = 0,
              std::string text = {})
    {
        if (Observed()) Deliver(kind, bytes, expectedReply, waitedMs, std::move(text));
    }

private:
    void Deliver(TrafficKind kind, std::span<const std::uint8_t> bytes, int expectedReply, int waitedMs,
                 std::string text);

    std::atomic<TrafficObserver*> observer_{nullptr};
    std::mutex mutex_;  // one call at a time, and none once detached
};
