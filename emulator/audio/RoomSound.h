// The room's part of the sound, as filters: a loudspeaker's path to the
// microphone, the resonances, the reverberant tail and the background noise.
#pragma once

#include <array>
#include <cmath>
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

// The reverberant tail of what the loudspeakers play: a pre-delay, a few
// short all-pass diffusers that make the tail dense from its start, and a
// feedback delay network of 16 lines whose feedback is an orthogonal
// (Hadamard) matrix. The matrix keeps the energy it mixes, so the tail
// decays by the lines' own losses alone, each set to lose 60 dB in rt60:
// every mode of the network decays alike. A few dozen operations a sample,
// as a room as long as its decay convolved would cost thousands.
class Reverb {
public:
    static constexpr int kLines = 16;

    explicit Reverb(const RoomReverb&);
    // The tail only, without the sound it is fed; 0 for a room without one.
    double Process(double x) { return on_ ? scale_ * Run(x) : 0.0; }

private:
    // A tail left to decay in silence would come down to the subnormal
    // numbers, which cost some hundred times the work: 600 dB below full
    // scale it is silence.
    static constexpr double kFlushBelow = 1e-30;

    // A ring of a fixed delay in whole samples.
    struct Line {
        std::vector<double> ring;
        std::size_t at = 0;
        double Read() const { return ring[at]; }
        void Write(double x)
        {
            ring[at] = std::abs(x) < kFlushBelow ? 0.0 : x;
            at = at + 1 == ring.size() ? 0 : at + 1;
        }
    };
    struct Diffuser {
        Line line;
        double gain;
    };

    double Run(double x);
    void Clear();

    bool on_;
    double scale_ = 1.0;  // brings the tail's energy to its level
    Line preDelay_;
    std::vector<Diffuser> diffusers_;
    std::array<Line, kLines> lines_;
    std::array<double, kLines> loss_{};
    std::array<double, kLines> inSign_{}, outSign_{};
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
