// A measurement sequence as tuning takes it: the outputs' complex
// responses on the sequence's one time base.
//
// The sequence's analysis refers every output's phase to that output's time
// zero, the moment its sweep's impulse would reach the microphone with the
// reference latency; the sweeps play at known offsets of one stream, so the
// time zeros of all outputs are one instant of their own sweeps, and the
// phases are on one time base as they come: the difference of two outputs'
// phases is the difference of their arrivals.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "tuning/SystemMeasurement.h"

class TuneMeasurementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Left, right and sub from `result`, and the system where the sequence
// measured it (else it is their complex sum: SystemOutput). Throws
// TuneMeasurementError naming the output when one is missing or its verdict
// is not ok, and naming the mutes when the sequence could not put them all back.
SystemMeasurement SystemMeasurementOf(const MeasurementResult& result);
// The same of each position; of several, the error names the position
// ("Position 2 of 4: ...").
std::vector<SystemMeasurement> SystemMeasurementsOf(const PositionsResult& result);
