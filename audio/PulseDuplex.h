// A duplex stream straight on a PulseAudio server (or PipeWire's, which
// speaks its protocol), on the server's clock.
//
// Each end runs at the server's pace: the playback is written as the server
// asks for more, the recording read as it comes. Neither waits for the
// other, so a recording that comes in large or late pieces (a loop behind a
// sink of 140 ms blocks) never starves the playback.
//
// The relation between the two is set once, when both run: the server is
// asked where its playback's read index stands, the first frame is written
// a margin ahead of it (the sink's own latency and two blocks), and it goes
// with the first frame recorded after that moment. From then on every frame
// is written at its absolute place: the playback never pre-buffers, so a
// block that comes too late loses its sound where it was due (the server
// drops what lies behind its read index and plays silence there), is
// reported with its frame, and nothing after it moves. A hole in the
// recording keeps its place as silence and is reported too.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "SoundSystem.h"

// For tests only: what a slow server does on purpose.
struct PulseTrials {
    // The recording is held back this long after the playback runs, as a
    // source whose first frames come late.
    std::chrono::milliseconds recordingLate{0};
};

class PulseDuplex final : public DuplexBackend {
public:
    // Connects both streams to the devices' server names. Throws AudioError
    // with the server's reason.
    PulseDuplex(const DuplexEnds& ends, DuplexCallbacks callbacks, PulseTrials trials = {});
    ~PulseDuplex() override;
    PulseDuplex(const PulseDuplex&) = delete;
    PulseDuplex& operator=(const PulseDuplex&) = delete;

    void Start() override;
    // What was written and not yet played is dropped with the streams.
    void Stop() override;
    std::optional<std::string> Failure() const override;
    bool Settled() const override { return settled_; }

    struct Server;

private:
    void Run();
    void Fail(const std::string& message);

    DuplexEnds ends_;
    DuplexCallbacks callbacks_;
    PulseTrials trials_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> settled_{true};
    mutable std::mutex failureMutex_;
    std::optional<std::string> failure_;
};
