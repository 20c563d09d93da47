// What the unit's setting bytes mean as sound: one output channel's block of
// the image turned into levels in dB, frequencies in Hz, times in ms. The
// unit's frequency and bandwidth steps are stored tables, not formulas.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "emulator/UnitState.h"

namespace rx74emu {

inline constexpr int kFrequencySteps = 395;
inline constexpr int kBandsPerChannel = 3;

// The frequency of a step (0..394); a step above the table means its top.
double StepFrequencyHz(int step);
// The bandwidth in octaves of a PEQ bandwidth step (2..41); steps beyond the
// table mean its narrowest or widest entry.
double BandwidthOctaves(int step);

struct PeqBand {
    enum class Shape { Bell, LowShelf, HighShelf };
    Shape shape = Shape::Bell;
    bool flat = false;
    double hz = 1000.0;
    double gainDb = 0.0;
    double octaves = 0.228;
};

// A high- or low-pass: the unit's filter type index (0 passes everything)
// at its corner frequency.
struct CrossoverFilter {
    int type = 0;
    double hz = 1000.0;
};

struct ChannelSetting {
    double levelDb = 0.0;
    bool mute = false;
    bool inverted = false;
    double delayMs = 0.0;
    CrossoverFilter highPass, lowPass;  // type 0 when the crossover is switched off
    std::optional<double> limiterDbu;   // no value: the limiter is off
    double limiterHoldMs = 100.0;
    double limiterReleaseMs = 100.0;
    std::array<PeqBand, kBandsPerChannel> bands;
};

// The block of 31 bytes that starts at `block`.
ChannelSetting DecodeChannel(const std::uint8_t* block);

struct UnitSetting {
    ChannelSetting mains;  // Left and Right
    ChannelSetting sub;
};
UnitSetting DecodeSetting(const Image& image);

}  // namespace rx74emu
