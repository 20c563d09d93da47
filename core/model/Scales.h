// Value scales: the constant tables that turn the unit's parameter steps into
// frequencies, bandwidths, levels and display texts, and the reverse look-ups
// that turn a typed value back into a step.
//
// The tables are constants of the program, not formulas: the step numbers are
// what travels to the unit, so every entry must match the unit's own scale.
#pragma once

#include <optional>
#include <string>

// Frequency scale: roughly 1/36 octave per step, 10 Hz .. 20200 Hz.
inline constexpr int kFreqSteps = 395;
inline constexpr int kFreqStepLowest = 0;             // 10 Hz, lowest high-pass corner
inline constexpr int kFreqStepLowestPeq = 35;         // 19.7 Hz
inline constexpr int kFreqStepLowestLowPass = 65;     // 35.1 Hz
inline constexpr int kFreqStep1kHz = 238;             // 1000 Hz, where the shelves split
inline constexpr int kFreqStepHighestHighPass = 382;  // 16000 Hz
inline constexpr int kFreqStepHighest = 394;          // 20200 Hz

extern const double FreqTable[kFreqSteps];
extern const char* const FreqLabel[kFreqSteps];

// PEQ bandwidth: step s (2..41) is OctaveTable[s - 2] octaves.
inline constexpr int kOctaveSteps = 40;
inline constexpr int kBandwidthStepNarrowest = 2;
inline constexpr int kBandwidthStepWidest = 41;
extern const double OctaveTable[kOctaveSteps];

// Filter types shared by the high-pass and the low-pass side. Entry 0 is a
// pass-through; the blanks in entries 0 and 1 are part of the names.
inline constexpr int kFilterTypes = 28;
extern const char* const FilterTypeNames[kFilterTypes];

// Step ranges of the output settings, shared by the image unpacker, the
// texts and the editing rules. Gain step 128 is 0 dB on both the output
// level and the PEQ gain scale.
inline constexpr int kGainStepZero = 128;
inline constexpr int kGainStepMin = 8, kGainStepMax = 140;
inline constexpr int kDelayStepMax = 125;
inline constexpr int kThresholdStepOff = 11, kThresholdStepMax = 62;

// Display factors of the delay step (0.1 ms per step).
inline constexpr double kDelayMetresPerStep = 0.03444269351083096;
inline constexpr double kDelayFeetPerStep = 0.11299998607999776;

// The smallest step k in 1..394 whose frequency is at least hz; 394 when none
// is (also for NaN). Step 0 is never returned: callers cut off low values.
int FreqIndexFromHz(double hz);

// Octaves of a bandwidth step; empty for a step outside 2..41, which only a
// memory image from the unit or a file can put into the model.
std::optional<double> BandwidthOctaves(int step);

// "HISHELF" when hiShelf is set, else "LOSHELF" when loShelf is set, else the
// octaves as "%.3f oct". A step outside 2..41 gives kBandwidthOutOfRangeText.
std::string BandwidthText(int step, int hiShelf, int loShelf);
inline constexpr const char* kBandwidthOutOfRangeText = "--- oct";

// The step 2..41 whose octave value is nearest to octaves; halfway values
// take the wider step; values below the narrowest (and NaN) give 2, above
// the widest give 41.
int BandwidthStepFromOctaves(double octaves);

// Output-page texts, defined for any int.
std::string GainText(int gainStep);            // "%+.1fdB" of (step - 128) x 0.5
std::string DelayMsText(int delayStep);        // "%.1f mS"
std::string DelayMetresText(int delayStep);    // "%.2f M"
std::string DelayFeetText(int delayStep);      // "%.2f Ft"
std::string ThresholdText(int thresholdStep);  // "Off" for 11, else "%d dBu" of 22 - step
std::string LimiterTimeText(int timeStep);     // step x 10 as a whole number
std::string PeqGainText(int gainStep);         // "%.1fdB" of (step - 128) x 0.1

// Table look-ups that are safe for any int: an index outside the table gives
// the matching out-of-range text instead of reading past the table.
const char* FreqLabelAt(int step);
const char* FilterTypeNameAt(int type);
inline constexpr const char* kFreqOutOfRangeText = "---Hz";
inline constexpr const char* kFilterTypeOutOfRangeText = "UNKNOWN TYPE";
