// How long the sound in a room takes to die away after a sweep: the
// recording from where the sweep's end arrived, against the noise floor of
// the silence recorded before the sweep. A measurement waits that long
// before its next silence, so that the noise floor it records there is the
// room's noise and not the last output's reverberation.
//
// The level is the RMS over blocks of 10 ms. The recording has decayed into
// the noise where its level comes within 3 dB of the floor (the tail then no
// louder than the noise) and stays there for 100 ms: a decay of noise-like
// sound crosses that line a few times before it stays below, and a single
// block of quieter noise is no decay.
#pragma once

#include <span>

inline constexpr double kDecayBlockSeconds = 0.01;
inline constexpr double kDecayMarginDb = 3.0;
inline constexpr double kDecayHoldSeconds = 0.1;

struct Decay {
    // From the recording's start to the first block of the 100 ms within
    // 3 dB of the floor, held within leastSeconds .. mostSeconds. A
    // recording that has not stayed in the noise by its end gives mostSeconds.
    // There the tail is about as loud as the noise; each further
    // rt60Seconds / 6 takes it 10 dB lower.
    double seconds = 0.0;
    // The decay time (to -60 dB) from the slope of the level, the noise's
    // power taken off, from 5 dB below the loudest block down to 10 dB above
    // the floor; 0 where that is less than 10 dB of decay.
    double rt60Seconds = 0.0;
};

// Throws std::invalid_argument for a rate not above 0, a negative noise
// RMS, leastSeconds below 0 or mostSeconds below leastSeconds.
Decay DecayIntoNoise(std::span<const float> recording, double noiseRms, double rate, double leastSeconds,
                     double mostSeconds);

// The decay of the sound above `fromHz` alone, against the noise's RMS
// above it (RmsAbove of the silence before the sweep, taken once): the
// recording high-passed with the magnitude of a 4th-order Butterworth, no
// delay added. After a sweep it is its top octaves that ring on, the last
// it played; the noise of the whole band, mostly low, would hide them while
// they still stand well above the noise of their own octaves. Throws as
// DecayIntoNoise.
Decay DecayIntoNoiseAbove(std::span<const float> recording, double noiseRms, double rate, double fromHz,
                          double leastSeconds, double mostSeconds);
// The RMS of `samples` above `fromHz`, high-passed alike; 0 for none.
double RmsAbove(std::span<const float> samples, double rate, double fromHz);
