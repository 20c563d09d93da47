// The frequency response of one output channel as the output page draws it:
// the high-pass and low-pass filters and the three PEQ bands, in dB, one
// value per frequency step.
//
// The curve is an empirical picture built on step numbers, not a transfer
// function: a crossover slope is a sin(x)/x transition joined to a straight
// tail, a PEQ band a resonance curve over the distance in steps from its
// centre, and every step counts as the same distance.
#pragma once

#include <array>

#include "model/Scales.h"

struct ParameterModel;

using ResponseCurve = std::array<double, kFreqSteps>;

// The response of model slot `slot` (0 = Left&Right, 2 = Sub), read from the
// model. Every value is finite for any model an image can produce; a slot
// outside 0..2 gives a flat curve.
ResponseCurve ComputeResponse(const ParameterModel& model, int slot);

// One PEQ band whose centre, bandwidth and gain may also lie between the
// unit's steps, as a fit moves them: at whole steps (bandwidth 2..41) it adds
// exactly what ComputeResponse adds for the band, and between them the same
// resonance curve at the fractional position.
struct PeqBandShape {
    double centreStep;     // frequency step
    double bandwidthStep;  // 2..41, held to that range
    double gainDb;
    bool loShelf = false;
    bool hiShelf = false;
};
void AddPeqBandShape(ResponseCurve& curve, const PeqBandShape& band);
