// One duplex stream: playback on one device and capture on another (or the
// same), on one clock (SoundSystem: the k-th frame played and the k-th frame
// recorded keep one relation for the whole run), through the machine's
// sound system or one given.
//
// Every frame lost is kept with its place: a measurement judges a loss by
// where it fell (a loss in a silence between sweeps spoils nothing). An
// error of the running stream (a device that goes away) is kept for the
// owner to ask about.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AudioDevices.h"
#include "SoundSystem.h"

// A stream that hands over no frame for this long has stopped.
inline constexpr double kStreamStalledSeconds = 2.0;

struct DuplexSettings {
    std::string playDevice;    // a device's server name or name; empty: the default output
    std::string recordDevice;  // empty: the default input
    int rate = 48000;
    int playChannels = 2;
    // 0: all the device's channels. Fewer are mixed down from all of them
    // by a sound server (PulseAudio), not picked out.
    int recordChannels = 0;
    unsigned int bufferFrames = 512;
};

// Called on the stream's thread, one at a time; they must not block.
struct DuplexHandler {
    std::function<void(std::span<float> play)> play;            // fill: the next frames to play
    std::function<void(std::span<const float> record)> record;  // the next frames recorded
};

class DuplexStream {
public:
    // Opens both ends. Throws AudioError naming the device that cannot be
    // had, has too few channels or refuses the rate.
    DuplexStream(const DuplexSettings& settings, DuplexHandler handler,
                 const SoundSystem& system = MachineSoundSystem());
    // Stops the stream where it still runs, and closes it.
    ~DuplexStream();
    DuplexStream(const DuplexStream&) = delete;
    DuplexStream& operator=(const DuplexStream&) = delete;

    // Starts the stream and returns once it flows (a quarter of a second
    // has been recorded): a sound server may hold a new stream up to a few
    // seconds first (a null sink that slept). From then on the stream's
    // losses count. Throws AudioError when it never flows or its relation
    // cannot be set.
    void Start();
    // Ends the stream. Throws AudioError when the system hangs in it.
    void Stop();

    const AudioDevice& PlayDevice() const { return play_; }
    const AudioDevice& RecordDevice() const { return record_; }
    int RecordChannels() const { return settings_.recordChannels; }
    // Throws AudioError naming the device when it has no input channel
    // `channel` (from 1) for `what` ("microphone").
    void RequireRecordChannel(int channel, const char* what) const;
    // Frames recorded so far.
    std::int64_t Recorded() const { return recorded_; }
    long Dropouts() const { return static_cast<long>(lossCount_.load()); }
    // How many slips (StreamLoss::Kind::Slip) the stream made good so far.
    std::size_t Slips() const { return slipCount_; }
    // The losses since the stream flows, in order. Past the room kept for
    // them, the last one reaches as far as every later one.
    std::vector<StreamLoss> Losses() const;
    // What the system said when the running stream failed, if it did.
    std::optional<std::string> Failure() const;
    // False while a loss may be on its way (SoundSystem.h).
    bool Settled() const { return backend_->Settled(); }
    // The device of either end that the system no longer lists, if one went
    // away: a sound server then moves the stream to another device without
    // a word, and the stream runs on.
    std::optional<std::string> GoneDevice() const;
    // The words for a stream that stopped handing over frames (kStreamStalledSeconds).
    std::string StalledText() const;

private:
    void OnLoss(const StreamLoss& loss);

    const SoundSystem& system_;
    AudioDevice play_;
    AudioDevice record_;
    DuplexSettings settings_;
    DuplexHandler handler_;
    std::atomic<std::int64_t> recorded_{0};
    std::atomic<bool> watching_{false};
    static constexpr std::size_t kLossRoom = 256;
    std::array<StreamLoss, kLossRoom> losses_{};
    std::atomic<std::size_t> lossCount_{0};  // written by the stream's thread alone
    std::atomic<std::size_t> slipCount_{0};  // likewise
    std::atomic<std::int64_t> lossesEnd_{0};  // the end of the last loss past the room
    std::unique_ptr<DuplexBackend> backend_;
};
