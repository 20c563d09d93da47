// What the microphone hears from each output with the unit's setting, as
// JSON, from the transfer functions of the very filters that play:
//
//   {"rate": 48000, "latencyMs": ..., "outputs": {"left": {"arrivalMs": ...,
//    "muted": false, "hz": [...], "db": [...], "phaseDeg": [...]},
//    "right": {...}, "sub": {...}}, "positions": [{"outputs": {...}}, ...]}
//
// "outputs" at the room's first microphone position, "positions" the same
// at each of its positions in turn (the first again among them);
// at 1/48-octave points from 10 Hz to 20 kHz; "latencyMs" is the processing
// latency that arrivalMs leaves out, and the phase is what is left after the
// arrival's delay. In a reverberant room it is the direct sound's
// (AudioPath::Response says why).
#pragma once

#include <string>
#include <vector>

#include "emulator/audio/AudioPath.h"

namespace rx74emu {

// 10 Hz * 2^(k/48) up to 20 kHz.
std::vector<double> TruthFrequencies();
std::string RoomTruthJson(const Room&, const Image& setting);

}  // namespace rx74emu
