// What a measurement of one output is worth: ok, or the first of what
// spoils it (no signal, dropouts, a stream that slipped, clipping, too much
// noise in an octave of the output's own band), with every fault found said
// in its text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Levels.h"

// The band an output plays, whose octaves must stand clear of the noise.
struct OutputBand {
    double lowHz = 100.0;
    double highHz = 16000.0;
};
inline constexpr OutputBand kTopsBand{100.0, 16000.0};
inline constexpr OutputBand kSubBand{30.0, 120.0};

// The least SNR in each octave of the band.
inline constexpr double kLeastSnrDb = 20.0;

enum class Verdict { Ok, NoSignal, Dropouts, Slipped, Clipped, TooNoisy };

// "ok", "no signal", "dropouts", "slipped", "clipped", "too noisy".
const char* VerdictName(Verdict verdict);

struct OutputChecks {
    bool signalFound = false;        // an impulse peak above the noise
    double peakDbfs = kSilenceDbfs;  // of the recorded sweep
    std::size_t clippedSamples = 0;
    int dropouts = 0;          // losses within its recording
    std::vector<BandSnr> snr;  // the octaves of the output's band
    // How far it came from where the run's sweeps come (a stream that
    // slipped), where it did.
    std::optional<double> slipMs = std::nullopt;
};

struct OutputVerdict {
    Verdict verdict = Verdict::Ok;
    std::vector<BandSnr> noisyOctaves;  // below kLeastSnrDb
    std::string text;                   // "ok", or each fault with its figures
};

OutputVerdict JudgeOutput(const OutputChecks& checks, double leastSnrDb = kLeastSnrDb);
