// A sequence as the measurement plays it, put together from known systems,
// for the analysis's tests and those of what stands on it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>

#include "SequenceAnalysis.h"
#include "tests/signal/KnownSystems.h"

inline constexpr double kRate = 48000.0;
inline constexpr std::size_t kLatency = 19200;  // 0.4 s, as a sound server may add

// A sequence as the measurement plays it: for each output the silence, as
// long as the sweep, then the sweep, then a gap; what each output makes of
// its sweep is mixed into the microphone's recording.
class SequenceRig {
public:
    SequenceRig() { recording_.sweep.rate = kRate; }

    std::size_t Add(OutputBand band = kTopsBand, ImpulseWindowShape window = TopsWindow(),
                    std::optional<double> lowPassHz = std::nullopt)
    {
        const std::size_t start = recording_.sweeps.size() * (2 * sweep_.size() + kGap);
        recording_.sweeps.push_back({start + sweep_.size(), start, band, window, lowPassHz, 0});
        return recording_.sweeps.size() - 1;
    }

    // The output's sweep through `system`, `delay` samples late, behind the latency.
    void Play(std::size_t output, const std::vector<Biquad>& system, double delay, double gain = 1.0)
    {
        std::vector<float> heard = Filter(Delayed(sweep_, delay), system);
        for (float& v : heard) v = static_cast<float>(v * gain);
        MixInto(microphone_, heard, recording_.sweeps[output].playOffset + kLatency);
    }

    void Loopback(std::size_t output) { MixInto(loopback_, sweep_, recording_.sweeps[output].playOffset + kLatency); }

    void Hum(double hz, double amplitude)
    {
        hum_ = hz;
        humAmplitude_ = amplitude;
    }

    // The recording with the microphone's noise, as long as the sequence
    // and its latency (or cut after `keep` samples), clipped at full scale.
    SequenceAnalysis Analyse(double noiseRms = 1e-4, std::size_t keep = SIZE_MAX)
    {
        const std::size_t length = recording_.sweeps.size() * (2 * sweep_.size() + kGap) + kLatency + kGap;
        microphone_.resize(length, 0.0f);
        MixInto(microphone_, WhiteNoise(length, noiseRms, 7), 0);
        for (std::size_t i = 0; i < length; ++i) {
            microphone_[i] += static_cast<float>(humAmplitude_ * std::sin(2.0 * std::numbers::pi * hum_ * i / kRate));
            microphone_[i] = std::clamp(microphone_[i], -1.0f, 1.0f);
        }
        microphone_.resize(std::min(keep, length));
        recording_.microphone = microphone_;
        if (!loopback_.empty()) {
            loopback_.resize(length, 0.0f);
            recording_.loopback = loopback_;
        }
        return AnalyseSequence(recording_);
    }

    // How far after its place a sweep may be searched for, at most.
    void SearchUpTo(std::size_t maxLatency) { recording_.maxLatency = maxLatency; }

    std::size_t Spacing() const { return 2 * sweep_.size() + kGap; }
    const std::vector<PlayedSweep>& Sweeps() const { return recording_.sweeps; }
    const std::vector<float>& Microphone() const { return microphone_; }

private:
    static constexpr std::size_t kGap = 24000;
    const std::vector<float> sweep_ = MakeSweep({});
    SequenceRecording recording_;
    std::vector<float> microphone_, loopback_;
    double hum_ = 0.0, humAmplitude_ = 0.0;
};

