// The room's part of the sound, as filters: a loudspeaker's path to the
// microphone, the resonances and the background noise.
#pragma once

#include <array>
#include <complex>
#include <random>
#include <vector>

#include "emulator/audio/Biquad.h"
#include "emulator/audio/FractionalDelay.h"
#include "emulator/audio/Room.h"

namespace rx74emu {

std::vector<Biquad> RoomFilterSections(const std::vector<RoomFilter>&);

// One loudspeaker: its own response, its wiring, its distance.
class SpeakerPath {
public:
    explicit SpeakerPath(const Loudspeaker&);
    double Process(double x) { return distance_.Process(gain_ * response_.Process(x)); }
    // The distance's delay latency included.
    std::complex<double> Response(double hz) const { return gain_ * response_.Response(hz) * distance_.Response(hz); }
    double ArrivalSamples() const { return distance_.Samples(); }

private:
    FilterCascade response_;
    double gain_;  // 1/r of 1 m, and the wiring's sign
    FractionalDelay distance_;
};

// Seeded white or pink noise at an RMS level.
class NoiseSource {
public:
    explicit NoiseSource(const RoomNoise&);
    double Next();

private:
    double Pink(double white);

    std::mt19937 random_;
    std::normal_distribution<double> normal_;
    bool pink_;
    double scale_ = 0.0;             // brings the RMS to the level
    std::array<double, 7> state_{};  // of the pinking filter
};

}  // namespace rx74emu
