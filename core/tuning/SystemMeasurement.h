// One measurement sequence of the system, as tuning takes it: the complex
// response at the microphone of Left, Right and the Sub, each played alone
// with the unit's setting as it is, and of the system (all three together).
//
// The outputs share one frequency grid and one time base: each response's
// phase holds its arrival (a response whose phase was taken from its own
// arrival must be turned back by e^{-j w t} before it comes here), so the
// difference between two outputs' phases is the difference of their
// arrivals, and the unit's current delays are in it.
#pragma once

#include <complex>
#include <vector>

#include "tuning/LevelCurveFile.h"

using Complex = std::complex<double>;

struct MeasuredResponse {
    std::vector<double> hz;  // rising, every one above 0
    std::vector<Complex> response;
    double arrivalMs = 0.0;  // of the direct sound, on the sequence's time base
};

struct SystemMeasurement {
    MeasuredResponse left, right, sub;
    MeasuredResponse system;  // may be empty (no points): only verifying reads it
};

// Throws std::invalid_argument unless left, right and sub (and the system,
// when it has points) have one grid of at least kCurveLeastPoints
// rising frequencies, each with its response.
void CheckSystemMeasurement(const SystemMeasurement& measurement);

// The level in dB of each point.
LevelCurve LevelsOf(const MeasuredResponse& output);
// The mean power of two outputs on one grid, in dB: Left and Right as one
// channel, without the comb their complex sum has where the microphone is
// nearer one of them.
LevelCurve PowerMeanLevels(const MeasuredResponse& a, const MeasuredResponse& b);
// The same of two measurements' levels on one grid (a's).
LevelCurve PowerMeanLevels(const LevelCurve& a, const LevelCurve& b);
// What both tops play together at the microphone: the complex sum.
std::vector<Complex> TopsSum(const SystemMeasurement& measurement);

// The system output as measured, or where the measurement has none the
// complex sum of the three outputs.
MeasuredResponse SystemOutput(const SystemMeasurement& measurement);

double LevelDb(Complex h);
// The same of a power (|h|^2, as std::norm gives it, without the root).
double PowerLevelDb(double power);
