// A duplex stream straight on a PulseAudio server (or PipeWire's, which
// speaks its protocol), on which every frame played keeps its place against
// the frames recorded.
//
// RtAudio's PulseAudio backend writes and reads two blocking streams in
// turns. When its playback runs dry, the server holds it until it has filled
// up again: all that is played after it then comes later against the
// recording, by a few milliseconds each time, and nothing says so. A
// measurement that takes arrival times and phase from one recording cannot
// live with that.
//
// Here the playback never pre-buffers, and what is played with recorded frame
// n is written at the fixed playback position n + lead. A block that comes
// too late loses its sound, which the server reports as an underrun, and
// nothing after it moves. Recorded frames are read as the server delivers
// them; a hole in the recording keeps its place as silence.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

struct PulseEnds {
    std::string sink;    // the server's own names
    std::string source;
    int rate = 48000;
    int playChannels = 2;
    int recordChannels = 2;
    unsigned int blockFrames = 512;
};

class PulseDuplex {
public:
    struct Losses {
        bool underrun = false;  // the playback ran dry since the last call
        bool hole = false;      // the server had nothing recorded for these frames (given as silence)
    };
    // Called on the stream's thread with up to blockFrames recorded frames
    // and room for as many to play.
    using Callback = std::function<void(std::span<float> play, std::span<const float> record, Losses losses)>;

    // Connects both streams. Throws AudioError with the server's reason.
    PulseDuplex(const PulseEnds& ends, Callback callback);
    ~PulseDuplex();
    PulseDuplex(const PulseDuplex&) = delete;
    PulseDuplex& operator=(const PulseDuplex&) = delete;

    // Starts the thread that moves the frames.
    void Start();
    // Ends it; what was written and not yet played is dropped with the
    // streams.
    void Stop();
    // What the server said when a stream failed, if one did.
    std::optional<std::string> Failure() const;

    struct Server;

private:
    void Run();
    void Fail(const std::string& message);

    PulseEnds ends_;
    Callback callback_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex failureMutex_;
    std::optional<std::string> failure_;
};
