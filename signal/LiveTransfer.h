// The transfer function and coherence of a system from what plays through
// it, continuously: the reference (what goes in) and the measured (what the
// microphone hears) at several FFT lengths, each serving the band where its
// resolution fits, so that every point of the 1/24-octave grid from 20 Hz
// to 20 kHz is resolved to 1/24 octave: the long lengths the low end, the
// short ones the top (which they keep from smearing with the room's late
// sound). The reference is delayed by the system's delay (SetDelay) before
// the spectra are averaged, or nothing of a delayed system would cohere in
// the short frames.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "DualChannelAverage.h"

// A point whose coherence is below this is not shown as the system's truth.
inline constexpr double kTrustedCoherence = 0.8;
// Coherence estimated from few frames is near 1 whatever the signals (from
// one frame, exactly 1): until a length has averaged this many, its points'
// coherence is not known, and given as 0.
inline constexpr double kLeastCoherenceFrames = 6.0;

struct LiveTrace {
    std::vector<double> hz;
    std::vector<double> db;        // the transfer function's magnitude: its power gain over the point's band
    std::vector<double> phaseDeg;  // wrapped to (-180, 180], after the delay
    std::vector<double> coherence;  // 0 .. 1; 0 where too little was averaged yet
    std::vector<bool> known;        // whether enough was averaged to tell the coherence
    // The reference's power in the point's 1/24 octave, dB (a full-scale
    // sine standing alone there: -3 dB); -200 where nothing was averaged.
    std::vector<double> referenceDb;
};

// The share of the trace's points whose coherence can be trusted (0 .. 1).
double CoherentShare(const LiveTrace& trace);

class LiveTransfer {
public:
    // Throws std::invalid_argument for a rate below 8 kHz or an averaging
    // time constant not above 0.
    LiveTransfer(double rate, double averageSeconds);

    void Add(std::span<const float> reference, std::span<const float> measured);
    // Delays the reference by `seconds` against the measured (the measured
    // when negative) and starts the averages again.
    void SetDelay(double seconds);
    double Delay() const { return delaySeconds_; }

    // The trace at the 1/24-octave points from 20 Hz to 20 kHz (to half the rate).
    LiveTrace Trace() const;
    // The FFT lengths in use, shortest first.
    std::vector<std::size_t> Lengths() const;

private:
    struct Point {
        double hz;
        std::size_t spectra;            // which of spectra_
        std::size_t firstBin, lastBin;  // inclusive
    };
    void Feed();

    double rate_;
    double delaySeconds_ = 0.0;
    std::vector<std::unique_ptr<DualChannelAverage>> spectra_;
    std::vector<Point> points_;
    std::deque<float> reference_, measured_;  // waiting to be fed, the delay ahead
};
