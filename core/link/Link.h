// The link to the unit: one serial line, the receive thread that feeds the
// reply recogniser, the exchange steps, and the parameter model that the
// unit operations read and write. Nothing of it is process-wide: each
// program (or test) makes the links it needs.
//
// The line comes from a factory, so a test can put an in-memory line in
// place of a device. A link is used by one thread at a time (the caller of
// the unit operations); Cancel is the one call meant for other threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/LinkTraffic.h"
#include "link/ReplyRecogniser.h"
#include "link/SerialLine.h"

struct ParameterModel;

inline constexpr int kStepTimeoutMs = 1000;
inline constexpr int kDisconnectTimeoutMs = 200;

using LineFactory = std::function<std::unique_ptr<SerialLine>()>;

class Link {
public:
    explicit Link(ParameterModel& model, LineFactory makeLine = MakeSerialLine);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    ParameterModel& Model() { return model_; }

    // The device the next Open opens (a resolved path); COM1's device when
    // none was named.
    void SetDevice(std::string device) { device_ = std::move(device); }
    const std::string& Device() const { return device_; }

    // Opens the device, discards what is queued, applies 57600 baud 8N1 raw
    // without flow control, starts the receive thread and raises DTR. An
    // open port is closed first. False when the device cannot be opened or
    // refuses the settings (nothing stays open then); LastError says why.
    bool Open();
    const LineError& LastError() const { return lastError_; }
    // Stops the receive thread, drops DTR, discards what is queued and
    // closes the device. Does nothing when no port is open.
    void Close();
    bool IsOpen() const { return open_; }

    // One exchange step: the expected reply set, the bytes written, the
    // answer awaited. True when it came within the time-out. While the link
    // is cancelled it sends nothing and gives false.
    bool Step(int expectedReply, const std::uint8_t* bytes, int count, int timeoutMs = kStepTimeoutMs);
    // The parts of a step, for callers that need them apart.
    void BeginStep(int expectedReply)
    {
        stepReply_ = expectedReply;
        stepFirstByte_.store(-1);
        recogniser_.BeginStep(expectedReply);
    }
    void Write(const std::uint8_t* bytes, int count);
    bool WaitForAnswer(int timeoutMs);
    // The first `count` bytes of the last block answer.
    void CopyReply(std::uint8_t* destination, int count) { recogniser_.CopyReply(destination, count); }
    // Puts the recogniser back to idle; every operation ends with it.
    void EndOperation() { recogniser_.SetIdle(); }

    ReplyRecogniser& Recogniser() { return recogniser_; }
    // The first byte that arrived since the current step began, -1 if none:
    // tells a silent line from one that answers with something else.
    int FirstByteOfStep() const { return stepFirstByte_.load(); }

    // Reports the traffic to `observer` (nullptr: to nobody) from now on;
    // LinkTraffic.h says on which threads. Once it returns, the previous
    // observer is called no more.
    void SetTrafficObserver(TrafficObserver* observer) { traffic_.Attach(observer); }

    // From any thread: the step under way ends at once unanswered, and so
    // does every later one until Resume. An operation that is cancelled
    // thus ends within its current step, without waiting out a time-out.
    void Cancel();
    void Resume();
    bool Cancelled() const { return cancelled_.load(); }

    // Whether the unit answers: false once a step has run out its time-out
    // on an open line (not a cancelled one), true again at the first step
    // answered. onAnsweringChanged is called, on the thread that ran the
    // step, whenever this changes.
    bool Answering() const { return answering_.load(); }
    std::function<void(bool answering)> onAnsweringChanged;

private:
    void ReceiveLoop();
    void NoteAnswer(bool answered);
    void ReportStepEnd(bool answered, std::chrono::steady_clock::time_point since);

    ParameterModel& model_;
    LineFactory makeLine_;
    std::string device_;
    std::unique_ptr<SerialLine> line_;
    LineError lastError_;
    ReplyRecogniser recogniser_;
    std::atomic<bool> running_{false};
    std::thread receiveThread_;
    bool open_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> answering_{true};
    int stepReply_ = kReplyIdle;  // the current step's awaited reply; the stepping thread's
    std::atomic<int> stepFirstByte_{-1};
    TrafficTap traffic_;
};
