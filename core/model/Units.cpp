#include "model/Units.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "model/Scales.h"
#include "model/Text.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// A value and a step value count as the same within this share of the value:
// typed decimals such as 0.3 are binary fractions that miss the step by a hair.
constexpr double kSameValue = 1e-9;

double Tolerance(double value) { return kSameValue * std::max(1.0, std::fabs(value)); }

// Metres and feet as the output page rounds them (two decimals).
double Hundredths(double value) { return std::round(value * 100.0) / 100.0; }

double LevelDb(int step) { return (step - kGainStepZero) / 2.0; }
double PeqGainDb(int step) { return (step - kGainStepZero) / 10.0; }
double DelayMs(int step) { return step / 10.0; }
double DelayMetres(int step) { return Hundredths(step * kDelayMetresPerStep); }
double DelayFeet(int step) { return Hundredths(step * kDelayFeetPerStep); }
double FrequencyHz(int step) { return step >= 0 && step < kFreqSteps ? FreqTable[step] : kNoValue; }
double FrequencyKHz(int step) { return FrequencyHz(step) / 1000.0; }
double ThresholdDbu(int step) { return step == kThresholdStepOff ? kNoValue : 22.0 - step; }
double LimiterTimeMs(int step) { return step * 10.0; }
double Octaves(int step) { return BandwidthOctaves(step).value_or(kNoValue); }

constexpr ValueUnit kLevelUnits[] = {{"dB", "Db", LevelDb, 1, true}};
constexpr ValueUnit kPeqGainUnits[] = {{"dB", "Db", PeqGainDb, 1, true}};
constexpr ValueUnit kDelayUnits[] = {
    {"ms", "Ms", DelayMs, 1, false}, {"m", "Metres", DelayMetres, 2, false}, {"ft", "Feet", DelayFeet, 2, false}};
constexpr ValueUnit kFrequencyUnits[] = {{"Hz", "Hz", FrequencyHz, -1, false},
                                         {"kHz", nullptr, FrequencyKHz, 3, false}};
constexpr ValueUnit kThresholdUnits[] = {{"dBu", "Dbu", ThresholdDbu, 0, true}};
constexpr ValueUnit kLimiterTimeUnits[] = {{"ms", "Ms", LimiterTimeMs, 0, false}};
constexpr ValueUnit kBandwidthUnits[] = {{"oct", "Oct", Octaves, 3, false}};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The form in which words are compared: lower case, each run of blanks,
// "/" and "-" as one "-", "=" left out.
std::string WordKey(std::string_view text)
{
    std::string key;
    bool dash = false;
    for (const char c : TrimBlanks(text)) {
        if (c == ' ' || c == '/' || c == '-') {
            dash = !key.empty();
        } else if (c != '=') {
            if (dash) key += '-';
            dash = false;
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

struct Word {
    std::string word;
    int step;
};

std::vector<Word> WordsOf(Scale scale)
{
    switch (scale) {
        case Scale::Switch:
            return {{"off", 0}, {"on", 1}};
        case Scale::Threshold:
            return {{"off", kThresholdStepOff}};
        case Scale::FilterType: {
            std::vector<Word> words;
            for (int type = 0; type < kFilterTypes; ++type) words.push_back({FilterTypeWord(type), type});
            return words;
        }
        default:
            return {};
    }
}

bool IsWholeNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct NumberWithUnit {
    double value;
    std::string_view unit;
};

// "-3.5dB", "+1.2 ms", "1.25kHz": a finite number and what follows it.
std::optional<NumberWithUnit> SplitNumber(std::string_view text)
{
    double sign = 1.0;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        sign = text.front() == '-' ? -1.0 : 1.0;
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || !std::isfinite(value)) return std::nullopt;
    return NumberWithUnit{sign * value, TrimBlanks(text.substr(static_cast<std::size_t>(end - text.data())))};
}

std::string StepRangeText(const ScaledSteps& steps)
{
    return std::to_string(steps.min) + ".." + std::to_string(steps.max);
}

// Built by appends: GCC 12 warns of overlapping copies (-Wrestrict) in
// `"\"" + std::string(text) + "\""` when optimising.
std::string Quoted(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('"');
    quoted.append(text);
    quoted.push_back('"');
    return quoted;
}

std::string ValueText(const ValueUnit& unit, int step)
{
    if (unit.decimals < 0) return FreqLabelAt(step);
    char text[64];
    std::snprintf(text, sizeof text, unit.showSign ? "%+.*f%s" : "%.*f%s", unit.decimals, unit.valueOf(step),
                  unit.symbol);
    return text;
}

// "0.00m .. 4.31m": the lowest and the highest value of the allowed steps.
std::string ValueRangeText(const ScaledSteps& steps, const ValueUnit& unit)
{
    std::optional<int> lowest, highest;
    for (int step = steps.min; step <= steps.max; ++step) {
        const double value = unit.valueOf(step);
        if (std::isnan(value)) continue;
        if (!lowest || value < unit.valueOf(*lowest)) lowest = step;
        if (!highest || value > unit.valueOf(*highest)) highest = step;
    }
    return ValueText(unit, lowest.value_or(steps.min)) + " .. " + ValueText(unit, highest.value_or(steps.max));
}

TypedStep RawStep(const ScaledSteps& steps, std::string_view typed, StepBeyondRange beyond)
{
    int raw = 0;
    const auto [end, error] = std::from_chars(typed.data(), typed.data() + typed.size(), raw);
    if (error != std::errc{}) return {std::nullopt, Quoted(typed) + " is too large for a step"};
    if (steps.Contains(raw) || beyond == StepBeyondRange::Held) return {std::clamp(raw, steps.min, steps.max), {}};
    return {std::nullopt,
            "step " + std::to_string(raw) + " is outside " + StepRangeText(steps) + " (" + RangeText(steps) + ")"};
}

TypedStep ValueStep(const ScaledSteps& steps, const ValueUnit& unit, double value, std::string_view typed)
{
    const GridPlace place = PlaceOnGrid(steps, unit, value);
    if (!place.exact && !(place.below && place.above))
        return {std::nullopt, Quoted(typed) + " is outside " + ValueRangeText(steps, unit)};
    return {NearestStep(steps, unit, value), {}};
}

}  // namespace

std::span<const ValueUnit> UnitsOf(Scale scale)
{
    switch (scale) {
        case Scale::Level:
            return kLevelUnits;
        case Scale::PeqGain:
            return kPeqGainUnits;
        case Scale::Delay:
            return kDelayUnits;
        case Scale::Frequency:
            return kFrequencyUnits;
        case Scale::Threshold:
            return kThresholdUnits;
        case Scale::LimiterTime:
            return kLimiterTimeUnits;
        case Scale::Bandwidth:
            return kBandwidthUnits;
        case Scale::Switch:
        case Scale::FilterType:
            break;
    }
    return {};
}

std::string FilterTypeWord(int type)
{
    std::string word = WordKey(FilterTypeNameAt(type));
    if (const std::size_t db = word.find("db"); db != std::string::npos) word.replace(db, 2, "dB");
    return word;
}

std::optional<std::string> StepWord(Scale scale, int step)
{
    for (const Word& word : WordsOf(scale))
        if (word.step == step) return word.word;
    return std::nullopt;
}

std::optional<int> StepOfWord(Scale scale, std::string_view typed)
{
    const std::string key = WordKey(typed);
    for (const Word& word : WordsOf(scale))
        if (WordKey(word.word) == key) return word.step;
    return std::nullopt;
}

GridPlace PlaceOnGrid(const ScaledSteps& steps, const ValueUnit& unit, double value)
{
    GridPlace place;
    double below = -std::numeric_limits<double>::infinity();
    double above = std::numeric_limits<double>::infinity();
    for (int step = steps.min; step <= steps.max; ++step) {
        const double stepValue = unit.valueOf(step);
        if (std::isnan(stepValue)) continue;
        if (std::fabs(stepValue - value) <= Tolerance(value)) return {step, std::nullopt, std::nullopt};
        if (stepValue < value && stepValue > below) {
            below = stepValue;
            place.below = step;
        } else if (stepValue > value && stepValue < above) {
            above = stepValue;
            place.above = step;
        }
    }
    return place;
}

int NearestStep(const ScaledSteps& steps, const ValueUnit& unit, double value)
{
    const GridPlace place = PlaceOnGrid(steps, unit, value);
    if (place.exact) return *place.exact;
    if (!place.below || !place.above) return place.below.value_or(place.above.value_or(steps.min));
    const double down = value - unit.valueOf(*place.below);
    const double up = unit.valueOf(*place.above) - value;
    return up <= down + Tolerance(value) ? *place.above : *place.below;
}

std::string StepText(Scale scale, int step)
{
    if (std::optional<std::string> word = StepWord(scale, step)) return *word;
    const std::span<const ValueUnit> units = UnitsOf(scale);
    if (units.empty() || std::isnan(units.front().valueOf(step))) return "step " + std::to_string(step);
    return ValueText(units.front(), step);
}

std::string RangeText(const ScaledSteps& steps)
{
    // The threshold's Off sits below its dBu values.
    const bool offFirst = steps.scale == Scale::Threshold;
    const int first = offFirst ? steps.min + 1 : steps.min;
    return (offFirst ? StepText(steps.scale, steps.min) + ", " : "") + StepText(steps.scale, first) + " .. " +
           StepText(steps.scale, steps.max);
}

TypedStep ParseTypedValue(const ScaledSteps& steps, std::string_view text, StepBeyondRange beyond)
{
    const std::string_view typed = TrimBlanks(text);
    if (const std::optional<int> named = StepOfWord(steps.scale, typed)) {
        if (steps.Contains(*named)) return {named, {}};
        return {std::nullopt,
                Quoted(typed) + " is step " + std::to_string(*named) + ", outside " + StepRangeText(steps)};
    }
    if (IsWholeNumber(typed)) return RawStep(steps, typed, beyond);
    if (const std::optional<NumberWithUnit> number = SplitNumber(typed)) {
        for (const ValueUnit& unit : UnitsOf(steps.scale))
            if (Lower(unit.symbol) == Lower(number->unit)) return ValueStep(steps, unit, number->value, typed);
    }
    return {std::nullopt, Quoted(typed) + " is not a value here: give " + UnitsHelp(steps.scale) +
                              ", or a whole step " + StepRangeText(steps)};
}

std::string UnitsHelp(Scale scale)
{
    switch (scale) {
        case Scale::Switch:
            return "on or off";
        case Scale::FilterType:
            return "a filter type name";
        case Scale::Threshold:
            return "dBu or off";
        default:
            break;
    }
    const std::span<const ValueUnit> units = UnitsOf(scale);
    std::string help;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (i > 0) help += i + 1 == units.size() ? " or " : ", ";
        help += units[i].symbol;
    }
    return help;
}
