// An impulse response cut from the deconvolved recording and windowed: a
// half-Hann fade-in that ends at the impulse peak, a flat stretch, a
// half-Hann fade-out. The window sets how much of the room a response
// holds and how finely it resolves frequency (about 1 / its length); its
// fade-in how much of what comes before the peak it keeps: the sweep's
// band ends at its lowest frequency, and that edge rings on both sides of
// the peak for some 100 ms at 10 Hz. A fade-in too short for the band
// measured takes a part of the low end with it (for a flat system through
// a 5 ms one, -0.2 dB at 100 Hz).
//  - the tops: 20 ms before the peak, 100 ms flat, 100 ms fade-out. Flat
//    within 0.01 dB above 70 Hz; 200 ms after the peak resolve some 5 Hz,
//    ample above their 100 Hz, and keep the late reverberation out;
//  - the Sub: 100 ms before the peak, 300 ms flat, 300 ms fade-out. Flat
//    within 0.2 dB above 25 Hz; 600 ms hold a few periods of 20 Hz and
//    resolve below 2 Hz.
// The harmonic distortion lies before the peak, the second harmonic by
// HarmonicLeadSeconds (0.18 s for a 2 s sweep of 10 Hz .. 22 kHz): the
// analysis of a sequence keeps the fade-in within 80 % of it.
#pragma once

#include <cstddef>
#include <vector>

#include "Deconvolution.h"

struct ImpulseResponse {
    std::vector<float> samples;
    double rate = 48000.0;
    // samples[i] lies at startSeconds + i / rate after time zero.
    double startSeconds = 0.0;

    double SecondsAt(double index) const { return startSeconds + index / rate; }
};

struct ImpulseWindowShape {
    double fadeInSeconds = 0.02;
    double flatSeconds = 0.1;
    double fadeOutSeconds = 0.1;
};

ImpulseWindowShape TopsWindow();
ImpulseWindowShape SubWindow();

// How long before the impulse the n-th harmonic's impulse lies, for a
// sweep of `seconds` from startHz to endHz.
double HarmonicLeadSeconds(double seconds, double startHz, double endHz, int harmonic);

// The window around the peak at `peak` of the deconvolved recording, with
// time zero at index `timeZero` (which may lie between samples). Where the
// window reaches past either end of the recording it is cut short there.
ImpulseResponse CutImpulse(const Deconvolved& deconvolved, std::size_t peak, double timeZero, double rate,
                           const ImpulseWindowShape& shape);
