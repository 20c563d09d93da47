// The devices and the duplex stream of a PulseAudio server (or PipeWire's,
// which speaks its protocol). A device is the server's own: its name
// ("quenbar_out", "quenbar_out.monitor") is what it is chosen by; its
// description is what a person reads, and two devices may share one (on
// PipeWire a sink's monitor carries its sink's description).
#pragma once

#include "SoundSystem.h"

class PulseSystem final : public SoundSystem {
public:
    // Whether a server answers (PULSE_SERVER's, or the user's).
    static bool ServerAnswers();

    std::vector<AudioDevice> Devices() const override;
    std::unique_ptr<DuplexBackend> Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const override;
};
