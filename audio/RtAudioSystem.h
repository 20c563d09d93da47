// The devices and the duplex stream of RtAudio's own backends: ALSA and
// JACK where no sound server answers; WASAPI in shared mode on Windows, with
// DirectSound where WASAPI cannot open a device. RtAudio names a device, and
// opens it, by its name (a backend's order of its devices may change
// between runs: Wine's does); it drives both ends in one callback, so a
// frame played and a frame recorded there share one count by construction.
#pragma once

#include <vector>

#include "SoundSystem.h"

class RtAudioSystem final : public SoundSystem {
public:
    enum class Api {
        Default,  // the library's first backend that has devices
        Wasapi,
        DirectSound,
    };
    // The backends in the order they are tried: the first lists the
    // devices; a stream it cannot open is opened by the next one that knows
    // both devices by their names.
    explicit RtAudioSystem(std::vector<Api> apis = {Api::Default});

    std::vector<AudioDevice> Devices() const override;
    std::unique_ptr<DuplexBackend> Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const override;

private:
    std::vector<Api> apis_;
};
