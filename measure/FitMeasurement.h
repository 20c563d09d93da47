// What the PEQ fit of a unit channel takes from a measurement sequence:
// Left & Right, one channel on the unit, the mean power of Left and Right
// where both were measured (without the comb their complex sum has where
// the microphone is nearer one of them), else the one measured; the Sub its
// own output. Of several positions, the mean power over every position of
// the outputs that feed the channel.
#pragma once

#include <optional>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "tuning/LevelCurveFile.h"

// Empty where the channel's outputs were not measured or have no response
// (the sweep never reached the microphone). `slot` is kSlotLeftRight or kSlotSub.
std::optional<LevelCurve> FitMeasurementOf(const MeasurementResult& measurement, int slot);
std::optional<LevelCurve> FitMeasurementOf(const PositionsResult& result, int slot);
