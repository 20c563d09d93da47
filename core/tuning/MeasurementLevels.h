// A measurement as a graph of the unit's curves draws it: smoothed over
// 1/6 octave at the unit's frequency steps, and moved to 0 dB on average
// over the fit's default range, since a measurement's absolute level (often
// some 80 dB SPL) would lie far off such a graph.
#pragma once

#include "response/Response.h"
#include "tuning/LevelCurveFile.h"

// One level per frequency step; NaN outside the measured span.
ResponseCurve MeasurementLevels(const LevelCurve& measurement);
// The same levels where they were measured, not moved: several measurements
// drawn on one graph keep their levels against each other (each moved by
// one shift, such as the FitRangeMean of the loudest).
ResponseCurve UnshiftedMeasurementLevels(const LevelCurve& measurement);
// The mean of the finite levels over the fit's default range; 0 for none.
double FitRangeMean(const ResponseCurve& levels);

// The mean of the finite levels of steps first..last; 0 when there is none.
double MeanLevel(const double* levels, int first, int last);
