// The analysis of a whole measurement sequence from its one recording: the
// sweeps found, each output's impulse response, arrival, frequency
// response, levels, SNR and verdict, all on one time base.
//
// Time zero of an output is where its sweep's impulse would be with the
// reference latency: that of the loopback (the sweep found in the loopback
// channel, between samples, so arrival times are absolute, from the signal
// leaving the sound card), or else that of the first sweep found at the
// microphone (its arrival then lies within a sample of 0 ms, and the others
// are relative to it). Arrival differences between outputs are exact either
// way: one stream plays all sweeps at known offsets.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "Arrival.h"
#include "FrequencyResponse.h"
#include "ImpulseWindow.h"
#include "Levels.h"
#include "Sweep.h"
#include "SweepSearch.h"
#include "Verdict.h"

// One sweep of the sequence, as it was played.
struct PlayedSweep {
    std::size_t playOffset = 0;     // its first sample in the played stream
    std::size_t silenceOffset = 0;  // the silence before it, in the played stream
    OutputBand band = kTopsBand;
    ImpulseWindowShape window = TopsWindow();
    std::optional<double> arrivalLowPassHz;  // kSubArrivalLowPassHz for the Sub
    int dropouts = 0;                        // losses within its recording
    std::optional<double> slipMs = std::nullopt;  // where it came at another place than the run's
    // Where the next sweep of any kind was played (one played again after a
    // fault among them, which the sequence leaves out); 0: where the next
    // one kept was, or none.
    std::size_t nextPlayOffset = 0;
    std::size_t silenceLength = 0;           // of the silence before it; 0: as long as the sweep
};

struct SequenceRecording {
    std::span<const float> microphone;
    std::span<const float> loopback;  // empty without a loopback channel
    SweepSettings sweep;              // its rate is the recording's
    std::vector<PlayedSweep> sweeps;
    std::size_t maxLatency = 48000;  // samples; see SweepSearch
    int fraction = 48;               // smoothing of the responses (1 .. 48)
};

struct OutputAnalysis {
    // Empty when the sweep was not found; then nothing below but the
    // levels and the verdict (no signal) holds.
    std::optional<FoundSweep> found;
    ImpulseResponse impulse;
    double arrivalMs = 0.0;
    // At LogFrequencies() 10 Hz .. 20 kHz, 1/48 octave, the phase referred
    // to time zero (so arrival delays are in it).
    FrequencyResponse response;
    double peakDbfs = kSilenceDbfs;
    std::size_t clippedSamples = 0;
    std::vector<BandSnr> snr;  // the octaves of the output's band
    OutputVerdict verdict;
};

struct SequenceAnalysis {
    std::vector<OutputAnalysis> outputs;  // one per played sweep
    bool absoluteTime = false;            // the loopback gave time zero
    // The reference latency in samples (recording behind the played stream);
    // empty when no sweep was found at all.
    std::optional<double> latency;
};

// Throws std::invalid_argument for invalid sweep settings (as MakeSweep), a
// fraction outside 1 .. 48, or a loopback not as long as the microphone.
SequenceAnalysis AnalyseSequence(const SequenceRecording& recording);

// How far after where sweep `index` was played it is searched for: at
// most maxLatency, and never as far as where the next one was played
// (nextPlayOffset, else the next one's playOffset). A
// sweep that did not come back then leaves its search on the next one's
// start, which its own latency keeps out; reaching further, the search
// would take a louder next sweep for it. The sequence plays the next one
// only once a sweep has come back, so its own place always lies within.
std::size_t SearchReach(const std::vector<PlayedSweep>& sweeps, std::size_t index, std::size_t maxLatency);

// While the sequence runs: how far the microphone's recording so far lags
// behind the played stream (in samples), from where the sweep `played` is
// found in it; empty while it is not found. `inverse` is the sweep's
// inverse filter (MakeInverseFilter).
std::optional<std::size_t> FindLatencySoFar(std::span<const float> microphone, const SweepSettings& sweep,
                                            std::span<const float> inverse, const PlayedSweep& played,
                                            std::size_t maxLatency);
