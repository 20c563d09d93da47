#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "model/ChannelFields.h"
#include "model/Scales.h"
#include "model/Units.h"

namespace {

std::vector<ScaledSteps> EveryFieldsSteps()
{
    std::vector<ScaledSteps> steps;
    for (const ChannelField& field : ChannelFields()) steps.push_back(field.steps);
    for (const PeqField& field : PeqFields()) steps.push_back(field.steps);
    return steps;
}

int Typed(const ScaledSteps& steps, const std::string& text)
{
    const TypedStep typed = ParseTypedValue(steps, text);
    EXPECT_TRUE(typed.step.has_value()) << text << ": " << typed.error;
    return typed.step.value_or(-1000);
}

// Each step's text reads back to the step, in every unit of the scale; a
// value between two neighbours goes to the nearer one; NearestStep holds a
// value beyond the range to the end.
TEST(Units, EveryStepReadsBackAndValuesBetweenStepsGoToTheNearest)
{
    for (const ScaledSteps& steps : EveryFieldsSteps()) {
        for (int step = steps.min; step <= steps.max; ++step)
            EXPECT_EQ(Typed(steps, StepText(steps.scale, step)), step) << StepText(steps.scale, step);
        for (const ValueUnit& unit : UnitsOf(steps.scale)) {
            std::vector<int> valued;
            for (int step = steps.min; step <= steps.max; ++step)
                if (!std::isnan(unit.valueOf(step))) valued.push_back(step);
            for (std::size_t i = 0; i + 1 < valued.size(); ++i) {
                const double a = unit.valueOf(valued[i]), b = unit.valueOf(valued[i + 1]);
                EXPECT_EQ(NearestStep(steps, unit, a), valued[i]) << unit.symbol << " " << a;
                EXPECT_EQ(NearestStep(steps, unit, a + 0.4 * (b - a)), valued[i]) << unit.symbol << " " << a;
                EXPECT_EQ(NearestStep(steps, unit, a + 0.6 * (b - a)), valued[i + 1]) << unit.symbol << " " << b;
                const GridPlace between = PlaceOnGrid(steps, unit, (a + b) / 2);
                EXPECT_FALSE(between.exact);
                EXPECT_EQ(a < b ? between.below : between.above, valued[i]);
                EXPECT_EQ(a < b ? between.above : between.below, valued[i + 1]);
            }
            const double first = unit.valueOf(valued.front()), last = unit.valueOf(valued.back());
            const double outward = first < last ? -1e6 : 1e6;
            EXPECT_EQ(NearestStep(steps, unit, first + outward), valued.front()) << unit.symbol;
            EXPECT_EQ(NearestStep(steps, unit, last - outward), valued.back()) << unit.symbol;
        }
    }
}

// Frequencies come from the table only: a step beyond either end has no value
// rather than whatever lies next to the table in memory.
TEST(Units, FrequencyHasAValueOnlyForTheTableSteps)
{
    for (const ValueUnit& unit : UnitsOf(Scale::Frequency)) {
        const double perHz = unit.valueOf(0) / FreqTable[0];
        EXPECT_DOUBLE_EQ(unit.valueOf(kFreqSteps - 1), FreqTable[kFreqSteps - 1] * perHz) << unit.symbol;
        EXPECT_TRUE(std::isnan(unit.valueOf(-1))) << unit.symbol;
        EXPECT_TRUE(std::isnan(unit.valueOf(kFreqSteps))) << unit.symbol;
    }
}

TEST(Units, TypedValuesWithUnitsWordsAndRawSteps)
{
    const ChannelField& gain = *FindChannelField("gain");
    const ChannelField& delay = *FindChannelField("delay");
    const ChannelField& hpfType = *FindChannelField("hpfType");
    const ChannelField& hpfFreq = *FindChannelField("hpfFreq");
    const ChannelField& threshold = *FindChannelField("limThreshold");
    const ChannelField& hold = *FindChannelField("limHold");
    const PeqField& peqGain = *FindPeqField("gain");
    const PeqField& bandwidth = *FindPeqField("bandwidth");
    const PeqField& flat = *FindPeqField("flat");

    EXPECT_EQ(Typed(gain.steps, "-3.5dB"), 121);
    EXPECT_EQ(Typed(gain.steps, "-3.5 DB"), 121);
    EXPECT_EQ(Typed(gain.steps, "+0.25dB"), 129);  // halfway: the larger value
    EXPECT_EQ(Typed(gain.steps, "+6dB"), 140);
    EXPECT_EQ(Typed(gain.steps, "300"), 140);  // a raw step, held to the range
    EXPECT_EQ(Typed(gain.steps, "-4"), 8);
    EXPECT_EQ(Typed(peqGain.steps, "0.3dB"), 131);
    EXPECT_EQ(Typed(peqGain.steps, "-12dB"), 8);
    EXPECT_EQ(Typed(delay.steps, "1.2ms"), 12);
    EXPECT_EQ(Typed(delay.steps, "0.41m"), 12);
    EXPECT_EQ(Typed(delay.steps, "1.36ft"), 12);
    EXPECT_EQ(Typed(hpfFreq.steps, "80Hz"), 108);     // 80.3 Hz, nearer than 78.7 Hz
    EXPECT_EQ(Typed(hpfFreq.steps, "1.25kHz"), 250);  // halfway between 1240 and 1260 Hz
    EXPECT_EQ(Typed(hpfFreq.steps, "1e3hz"), 238);
    EXPECT_EQ(Typed(bandwidth.steps, "0.5oct"), 27);
    EXPECT_EQ(Typed(threshold.steps, "off"), 11);
    EXPECT_EQ(Typed(threshold.steps, "OFF"), 11);
    EXPECT_EQ(Typed(threshold.steps, "-3dBu"), 25);
    EXPECT_EQ(Typed(threshold.steps, "+10dBu"), 12);  // the highest level, not Off
    EXPECT_EQ(Typed(hold.steps, "100ms"), 10);
    EXPECT_EQ(Typed(flat.steps, "on"), 1);
    EXPECT_EQ(Typed(hpfType.steps, "24dB-butterworth"), 22);
    EXPECT_EQ(Typed(hpfType.steps, "24dB Butterworth"), 22);  // the page's own name
    EXPECT_EQ(Typed(hpfType.steps, "12db/q=0.5"), 2);

    for (const auto& [steps, text] : std::vector<std::pair<ScaledSteps, std::string>>{
             {gain.steps, "3.5"},  // a bare number is a step, and steps are whole
             {gain.steps, "5Hz"},
             {gain.steps, "99999999999"},
             {gain.steps, "nan dB"},
             {hpfType.steps, "48dB-bessel"},  // a name, but not a type the editor offers
             {hpfType.steps, "butterworth"},
             {threshold.steps, "-3dB"},
             {flat.steps, "yes"},
         }) {
        const TypedStep typed = ParseTypedValue(steps, text);
        EXPECT_FALSE(typed.step.has_value()) << text;
        EXPECT_FALSE(typed.error.empty()) << text;
    }
}

// A value in units beyond the field's range is a mistake, not a wish for the
// end of the range: it is refused with the range in the unit typed. A raw
// step beyond the range is held to it, or refused where the caller says so.
TEST(Units, ValuesBeyondTheRangeAreRefusedWithTheRange)
{
    const ChannelField& gain = *FindChannelField("gain");
    const ChannelField& delay = *FindChannelField("delay");
    const ChannelField& threshold = *FindChannelField("limThreshold");
    const ChannelField& hpfFreq = *FindChannelField("hpfFreq");
    for (const auto& [steps, text, error] : std::vector<std::tuple<ScaledSteps, std::string, std::string>>{
             {gain.steps, "+6.1dB", "\"+6.1dB\" is outside -60.0dB .. +6.0dB"},
             {gain.steps, "-60.3dB", "\"-60.3dB\" is outside -60.0dB .. +6.0dB"},
             {gain.steps, "1e308dB", "\"1e308dB\" is outside -60.0dB .. +6.0dB"},
             {delay.steps, "100m", "\"100m\" is outside 0.00m .. 4.31m"},
             {threshold.steps, "+11dBu", "\"+11dBu\" is outside -40dBu .. +10dBu"},
             {hpfFreq.steps, "25kHz", "\"25kHz\" is outside 0.010kHz .. 20.200kHz"},
         }) {
        const TypedStep typed = ParseTypedValue(steps, text);
        EXPECT_FALSE(typed.step.has_value()) << text;
        EXPECT_EQ(typed.error, error);
    }
    EXPECT_EQ(ParseTypedValue(gain.steps, "141", StepBeyondRange::Refused).error,
              "step 141 is outside 8..140 (-60.0dB .. +6.0dB)");
    EXPECT_EQ(ParseTypedValue(threshold.steps, " 10 ", StepBeyondRange::Refused).error,
              "step 10 is outside 11..62 (off, +10dBu .. -40dBu)");
    EXPECT_EQ(ParseTypedValue(gain.steps, "140", StepBeyondRange::Refused).step, 140);
    EXPECT_EQ(ParseTypedValue(gain.steps, "8", StepBeyondRange::Refused).step, 8);
}

TEST(Units, FilterTypeWordsFollowThePageNamesOneToOne)
{
    EXPECT_EQ(FilterTypeWord(0), "flat-thru");
    EXPECT_EQ(FilterTypeWord(1), "6dB-butterworth");
    EXPECT_EQ(FilterTypeWord(2), "12dB-q0.5");
    EXPECT_EQ(FilterTypeWord(24), "24dB-link-riley");
    for (int type = 0; type < kFilterTypes; ++type) {
        EXPECT_EQ(StepOfWord(Scale::FilterType, FilterTypeWord(type)), type);
        EXPECT_EQ(StepOfWord(Scale::FilterType, FilterTypeNames[type]), type);
    }
}

}  // namespace
