// The seam between the measurement and a sound system: the devices it
// offers and one duplex stream over two of them. Each system lives behind it
// in a file of its own (PulseSystem: a PulseAudio server, or PipeWire's,
// which speaks its protocol; RtAudioSystem: ALSA and JACK through RtAudio,
// and on Windows WASAPI and DirectSound).
//
// What every stream promises: frames are played and recorded on one clock.
// The k-th frame handed to `play` and the k-th frame handed to `record` keep
// one relation for the whole run, so a sound played at frame k comes back
// at frame k + latency with the same latency every time, whatever the
// latency is. A frame that could not be played in time or was not recorded
// is lost in its place (silence there), reported with its frame, and moves
// nothing after it. Where a server moves the relation without a word
// (PipeWire drops recorded frames now and then), a stream that sees it
// makes it good from there on and reports a slip: as nearly as the server's
// accounting tells, to a frame or so, so that sounds recorded before a slip
// and after it are not on one time base to the frame.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AudioDevices.h"

struct StreamLoss {
    enum class Kind {
        Underrun,  // frames to play came too late: silence was played there
        Overrun,   // recorded frames were dropped: silence is recorded there
        // The relation of what is played to what is recorded moved: these
        // frames came at another place. Made good where the backend knows by
        // how much (a sound server's accounting); else all after it stand
        // apart from all before it.
        Slip,
    };
    Kind kind = Kind::Underrun;
    std::int64_t frame = 0;   // on the stream's clock
    std::int64_t frames = 1;  // how many; at least one
};

// Called one at a time on the stream's thread; they must not block. Frames
// are interleaved, each side's counted from 0.
struct DuplexCallbacks {
    std::function<void(std::span<float> play)> play;          // fill with the next frames to play
    std::function<void(std::span<const float> record)> record;  // the next frames recorded
    std::function<void(const StreamLoss&)> lost;
};

struct DuplexEnds {
    AudioDevice play;
    AudioDevice record;
    int rate = 48000;
    int playChannels = 2;
    int recordChannels = 2;
    unsigned int blockFrames = 512;
};

class DuplexBackend {
public:
    virtual ~DuplexBackend() = default;
    // Starts both ends; the relation is set once both run. Throws
    // AudioError where the stream cannot start, or where the system cannot
    // say how its playback stands against its recording.
    virtual void Start() = 0;
    // Ends the stream; throws AudioError when the system hangs in it (the
    // stream is then given up, its callbacks no longer called).
    virtual void Stop() = 0;
    // What the system said when the running stream failed, if it did.
    virtual std::optional<std::string> Failure() const = 0;
    // False while the system's own accounting shows that the relation may
    // be moving: a loss for it is on its way.
    virtual bool Settled() const { return true; }
};

class SoundSystem {
public:
    virtual ~SoundSystem() = default;
    // Every device, in the system's order, the defaults marked. Throws
    // AudioError when the system does not answer.
    virtual std::vector<AudioDevice> Devices() const = 0;
    // Opens both ends; throws AudioError with the system's reason.
    virtual std::unique_ptr<DuplexBackend> Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const = 0;
};

// The system this machine offers: the sound server where one answers, else
// RtAudio's (ALSA, JACK); on Windows, RtAudio's WASAPI, then DirectSound
// (SoundSystemWin32.cpp).
const SoundSystem& MachineSoundSystem();
