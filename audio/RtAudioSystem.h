// The devices and the duplex stream of RtAudio's own backends (ALSA, JACK),
// where no sound server answers. RtAudio names a device, and opens it, by
// its name; it drives both ends in one callback, so a frame played and a
// frame recorded there share one count by construction, and its drivers
// flag every under- and overrun.
#pragma once

#include "SoundSystem.h"

class RtAudioSystem final : public SoundSystem {
public:
    std::vector<AudioDevice> Devices() const override;
    std::unique_ptr<DuplexBackend> Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const override;
};
