// An impulse response cut from the deconvolved recording and windowed: a
// half-Hann fade-in that ends at the impulse peak, a flat stretch, a
// half-Hann fade-out. The window sets how much of the room a response
// holds and how finely it resolves frequency (about 1 / its length):
//  - the tops: 5 ms before the peak, 100 ms flat, 100 ms fade-out. 200 ms
//    after the peak resolve some 5 Hz, ample above their 100 Hz, and keep
//    the late reverberation out of the response;
//  - the Sub: 20 ms before the peak (its peak is broad and its band-limited
//    onset starts early), 300 ms flat, 300 ms fade-out: 600 ms that hold a
//    few periods of 20 Hz and resolve below 2 Hz.
// Both stay clear of the harmonic distortion, which lies at least 90 ms
// before the peak for a sweep of 1 s or longer.
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
    double fadeInSeconds = 0.005;
    double flatSeconds = 0.1;
    double fadeOutSeconds = 0.1;
};

ImpulseWindowShape TopsWindow();
ImpulseWindowShape SubWindow();

// The window around the peak at `peak` of the deconvolved recording, with
// time zero at index `timeZero` (which may lie between samples). Where the
// window reaches past either end of the recording it is cut short there.
ImpulseResponse CutImpulse(const Deconvolved& deconvolved, std::size_t peak, double timeZero, double rate,
                           const ImpulseWindowShape& shape);
