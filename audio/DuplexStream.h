// One duplex stream: playback on one device and capture on another (or the
// same), driven by one callback, so that a frame played and a frame recorded
// share one count. Where both ends are a PulseAudio server's devices (or
// PipeWire's), the stream is the server's own (PulseDuplex: there a frame
// played keeps its place against the recording, which RtAudio's PulseAudio
// backend does not keep); elsewhere (ALSA, JACK) it is RtAudio's.
//
// Every under- and overrun is counted, and so is every gap the stream's
// clock shows (StreamClock: a recording that fell behind for good); an error
// of the running stream (a device that goes away) is kept for the owner to
// ask about. One stream is open at a time in a program: RtAudio reports its
// errors to one function without saying which stream they are about.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "AudioDevices.h"
#include "PulseDuplex.h"
#include "StreamClock.h"

class RtAudio;

struct DuplexSettings {
    std::string playDevice;    // a device's name or server name; empty: the default output
    std::string recordDevice;  // empty: the default input
    int rate = 48000;
    int playChannels = 2;
    // 0: all the device's channels. Fewer are mixed down from all of them
    // by a sound server (PulseAudio), not picked out.
    int recordChannels = 0;
    unsigned int bufferFrames = 512;
};

// Called on the library's audio thread with `frames` frames each way,
// interleaved: fill `play`, read `record`. It must not block.
using DuplexCallback = std::function<void(std::span<float> play, std::span<const float> record)>;

class DuplexStream {
public:
    // Opens both ends. Throws AudioError naming the device that cannot be
    // had, has too few channels or refuses the rate.
    DuplexStream(const DuplexSettings& settings, DuplexCallback callback);
    // Stops the stream where it still runs, and closes it; should the library
    // hang there, it gives up after 3 s and says so on stderr.
    ~DuplexStream();
    DuplexStream(const DuplexStream&) = delete;
    DuplexStream& operator=(const DuplexStream&) = delete;

    // Starts the stream and returns once it flows (a quarter of a second
    // has come through): a sound server may hold a new stream up to a few
    // seconds first (a null sink that slept). From then on the stream's
    // losses count. Throws AudioError when it never flows.
    void Start();
    // Ends the stream: RtAudio's once what was handed to the device has
    // played, the server's own at once (what it still holds is dropped). Throws
    // AudioError when the library hangs in it for 3 s: the stream is then
    // given up, its callback no longer called.
    void Stop();

    const AudioDevice& PlayDevice() const { return play_; }
    const AudioDevice& RecordDevice() const { return record_; }
    int RecordChannels() const { return settings_.recordChannels; }
    long Underruns() const { return underruns_; }
    long Overruns() const { return overruns_; }
    long Gaps() const { return gaps_; }
    // Every under- and overrun and gap.
    long Dropouts() const { return underruns_ + overruns_ + gaps_; }
    // What the library said when the running stream failed, if it did.
    std::optional<std::string> Failure() const;
    // The device of either end that the system no longer lists, if one went
    // away: a sound server then moves the stream to another device without
    // a word, and the stream runs on.
    std::optional<std::string> GoneDevice() const;

    // The library's audio thread and error function reach the stream here.
    struct Bridge;

private:
    struct Library;
    void OpenLibrary();
    // Called for every block on the audio thread, whichever runs it.
    void OnBlock(std::span<float> play, std::span<const float> record, bool underrun, bool overrun);
    // Runs `end` on the library, bounded; false when it hung (the library is
    // then given up).
    bool EndWithin(void (*end)(RtAudio&));
    std::string HungMessage() const;
    void WatchClock(unsigned int frames);
    void Fail(const std::string& message);

    AudioDevice play_;
    AudioDevice record_;
    DuplexSettings settings_;
    DuplexCallback callback_;
    std::atomic<long> underruns_{0};
    std::atomic<long> overruns_{0};
    std::atomic<long> gaps_{0};
    std::atomic<std::int64_t> framesHanded_{0};
    std::atomic<bool> watching_{false};
    // The audio thread's alone: the clock of the stream since it flows.
    StreamClock clock_;
    std::int64_t watchedFrom_ = -1;
    std::chrono::steady_clock::time_point watchStart_;
    mutable std::mutex failureMutex_;
    std::optional<std::string> failure_;
    std::unique_ptr<Library> library_;  // RtAudio's stream, or else
    std::unique_ptr<PulseDuplex> pulse_;  // the server's own
};
