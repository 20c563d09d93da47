// Where the sweeps of a sequence are in its recording. The sequence plays
// its sweeps at known offsets in one stream, but the recording lags behind
// by a latency nobody states (a sound server may add 0.4 s): each sweep is
// searched for, as the highest peak of the deconvolved recording's envelope
// within maxLatency after where it would be without any. A sweep that did
// not reach the microphone leaves no peak above the noise there and is not
// found: no position is made up for it. An output that plays a low band
// alone (the Sub) is searched for on the envelope low-passed to that band,
// where the noise of the whole band does not bury its broad, low peak.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "Deconvolution.h"

struct SweepSearch {
    std::size_t maxLatency = 48000;  // in samples; below the sweep's length plus the gap between sweeps
    // The least height of a peak above the deconvolved noise around it (the
    // noise's level taken from the median of the envelope over the search
    // window, which the peak and its decay hardly move): the highest peak of
    // noise alone over a second of samples stands about 13 dB above its RMS.
    double leastPeakOverNoiseDb = 20.0;
    std::optional<double> lowPassHz;  // for a low band alone: kSubArrivalLowPassHz
    double rate = 48000.0;            // of the recording, for lowPassHz
};

struct FoundSweep {
    std::size_t start = 0;  // where the sweep starts in the recording
    std::size_t peak = 0;   // its impulse peak in the deconvolved recording
    double peakOverNoiseDb = 0.0;
};

// The sweep played at `playOffset` (in samples from the start of the
// stream); empty when it was not found.
std::optional<FoundSweep> FindSweep(const Deconvolved& deconvolved, std::size_t playOffset,
                                    const SweepSearch& search = {});

// One entry per played sweep, as FindSweep.
std::vector<std::optional<FoundSweep>> FindSweeps(const Deconvolved& deconvolved,
                                                  std::span<const std::size_t> playOffsets,
                                                  const SweepSearch& search = {});
