// What a tuning pass is asked to do, in the one shape every face fills in,
// and the ranges of the settings it adds to the measurement's.
#pragma once

#include <stdexcept>
#include <string>

#include "MeasureSettings.h"
#include "tuning/TuneProposal.h"

struct TuneSettings {
    MeasureSettings measure;  // its outputs are ignored: a pass measures all four
    TuneOptions options;      // the fit's target and limits, the Sub's offset, the largest rise
};

// The Sub's offset from the tops either way, and the largest rise a pass may
// make: beyond them a pass would drive the unit's levels past what a room
// asks of a matched system (the unit's own gain range is wider).
inline constexpr double kMostSubOffsetDb = 12.0;
inline constexpr double kMostMaxRiseDb = 12.0;

enum class TuneField { SubOffset, MaxRise };

// A tuning setting outside its range, in words as MeasureSettings' refusals.
class TuneSettingError : public std::invalid_argument {
public:
    TuneSettingError(TuneField field, const std::string& message);
    TuneField field() const { return field_; }

private:
    TuneField field_;
};

// "-12 to 12 dB", "0 to 12 dB".
std::string RangeText(TuneField field);

// Throws SettingError for the measurement's settings, TuneSettingError for
// the pass's own.
void CheckTuneSettings(const TuneSettings& settings);
