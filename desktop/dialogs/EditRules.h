// The value rules of the channel editors, free of any window: how a control
// position, an up-down step or a typed text becomes a model step, and the
// texts and ranges the editors show. Every result is inside its field's range.
#pragma once

#include <string>
#include <string_view>

#include "model/Scales.h"  // PeqGainText, shared with the traffic log

// ---- Output page ----

// Level track bar position (-12 at the top .. 120) to the gain step 8..140.
int GainFromLevelPosition(int position);
// The level box: half-decibel steps relative to 0 dB, -120..12.
int LevelStepsFromText(std::string_view text);

// Up-down steps: the position the up-down asks for, clamped to the field.
int DelayFromUpDown(int position, int change);
int ThresholdFromUpDown(int position, int change);  // the up-down runs at -threshold
int HoldFromUpDown(int position, int change);

// Typed limiter values: "off" in any case anywhere gives 11; otherwise
// the dBu value limited to -40..10 becomes the step 22 - dBu.
int ThresholdFromText(std::string_view text);
// Typed hold time (milliseconds, ten per step) to the step 1..100.
int HoldFromText(std::string_view text);

enum class DelayUnit { Milliseconds, Metres, Feet };
// A typed delay in the given unit to the step 0..125.
int DelayFromText(std::string_view text, DelayUnit unit);

// ---- PEQ dialog ----

// The steps a band's frequency may take, and the captions of the bar's ends.
struct FrequencyRange {
    int min;
    int max;
    const char* leftCaption;
    const char* rightCaption;
};
// The range shown when the dialog (re)reads a band from the model.
FrequencyRange PeqBandRange(int hiShelf, int loShelf);
// The range set when a shelf box is ticked or unticked, or a shelf letter is typed.
FrequencyRange PeqBellRange();
FrequencyRange PeqLowShelfRange();
FrequencyRange PeqHighShelfRange();

// A typed PEQ frequency (with the "k" rule) to a step within the range.
int PeqFrequencyFromText(std::string_view text, const FrequencyRange& range);
// A typed PEQ gain in dB to tenths of a dB, -120..120, rounded up.
int PeqGainTenthsFromText(std::string_view text);
// "%+.1fdB" of a gain in tenths of a dB.
std::string SignedTenthsText(int tenths);

// ---- Crossover dialog ----

// The frequency steps a side may take: High Pass 0..min(low-pass, 382),
// Low Pass max(high-pass, 65)..394.
struct StepRange {
    int min;
    int max;
};
StepRange HighPassRange(int lowPassFreq);
StepRange LowPassRange(int highPassFreq);
// A typed crossover frequency (with the "k" rule) to a step within the range.
int XoverFrequencyFromText(std::string_view text, const StepRange& range);
