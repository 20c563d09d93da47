// Values in units: the steps of the unit's parameters read as decibels,
// milliseconds, metres, feet, hertz, octaves, dBu or names, with the numbers
// the pages show, and a value given with its unit ("-3.5dB", "1.25kHz",
// "off", "24dB-butterworth") turned back into a step.
//
// Every numeric unit is a value per step, so the way back is a search over
// the field's allowed steps: the step whose value is the one given, or the
// nearest one. The scales are short (at most 395 steps), so the search is a
// plain walk.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class Scale {
    Switch,       // 0 off, 1 on
    Level,        // output level: 0.5 dB per step, step 128 = 0 dB
    PeqGain,      // PEQ gain: 0.1 dB per step, step 128 = 0 dB
    Delay,        // 0.1 ms per step; also shown in metres and feet
    Frequency,    // FreqTable
    FilterType,   // FilterTypeNames, by FilterTypeWord
    Threshold,    // limiter threshold: step 11 off, else 22 - step dBu
    LimiterTime,  // 10 ms per step
    Bandwidth,    // PEQ bandwidth: OctaveTable
};

// The scale of a field and the steps its editor allows.
struct ScaledSteps {
    Scale scale;
    int min;
    int max;

    bool Contains(int step) const { return step >= min && step <= max; }
};

// A unit that a scale's values can be given in.
struct ValueUnit {
    const char* symbol;           // typed after the number ("dB", "kHz"); matched in any case
    const char* keySuffix;        // appended to the field's name for its JSON key; null: typed only
    double (*valueOf)(int step);  // NaN for a step without a value in the unit (the threshold's Off)
    int decimals;                 // as the pages show it; -1: the frequency labels
    bool showSign;                // "+" before positive values
};

// The units of a scale, its main unit first; empty for switches and filter types.
std::span<const ValueUnit> UnitsOf(Scale scale);

// The name of filter type `type` (0..kFilterTypes-1) as typed and as JSON
// writes it: FilterTypeNames[type] with the blanks around it dropped, inner
// blanks and "/" as "-", "=" left out, and in lower case but for the "dB"
// of the slope: "flat-thru", "6dB-butterworth", "12dB-q0.5",
// "24dB-link-riley".
std::string FilterTypeWord(int type);

// The word that names a step: "on" and "off" for switches, "off" for the
// threshold's Off step, the filter type's word; empty when there is none.
std::optional<std::string> StepWord(Scale scale, int step);

// The step that a word names in the scale ("ON", "24db butterworth" and
// "24dB Butterworth" name what "on" and "24dB-butterworth" name), if any.
std::optional<int> StepOfWord(Scale scale, std::string_view word);

// Where a value in `unit` falls among the allowed steps: the step that has
// exactly that value, and else the allowed steps nearest below and above
// it in value (one of them is missing beyond the range).
struct GridPlace {
    std::optional<int> exact;
    std::optional<int> below;
    std::optional<int> above;
};
GridPlace PlaceOnGrid(const ScaledSteps& steps, const ValueUnit& unit, double value);

// The allowed step nearest to `value`; a value halfway between two steps
// takes the larger value, a value beyond the range the step at its end.
int NearestStep(const ScaledSteps& steps, const ValueUnit& unit, double value);

// A step as it is typed: "-3.5dB", "+0.3dB", "1.2ms", "80.3Hz", "0.266oct",
// "-3dBu", "off", "100ms", "on", "24dB-butterworth". ParseTypedValue reads
// it back to the same step. For a step outside the scale's values:
// "step N".
std::string StepText(Scale scale, int step);

// The allowed steps in the scale's main unit, as a help text shows them:
// "-60.0dB .. +6.0dB", "off, +10dBu .. -40dBu".
std::string RangeText(const ScaledSteps& steps);

// What a whole number beyond the field's range does: held to the range as
// the editors hold it, or refused.
enum class StepBeyondRange { Held, Refused };

// A value typed for a field. A whole number is a raw step; a number with
// one of the scale's units goes to the nearest allowed step, and is refused
// beyond the range (a slip of the finger, such as "+60dB", is not a wish
// for the loudest step); a word names its step. On failure, error says why
// (without the field's name).
struct TypedStep {
    std::optional<int> step;
    std::string error;
};
TypedStep ParseTypedValue(const ScaledSteps& steps, std::string_view text,
                          StepBeyondRange beyond = StepBeyondRange::Held);

// What a scale takes, for help texts: "dB", "ms, m or ft", "Hz or kHz",
// "on or off", "a filter type name", "dBu or off", "oct", "ms".
std::string UnitsHelp(Scale scale);
