#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "model/Scales.h"

namespace {

TEST(FrequencyScale, HoldsTheLimitStepsAndTheIrregularSteps)
{
    EXPECT_DOUBLE_EQ(FreqTable[0], 10.0);
    EXPECT_DOUBLE_EQ(FreqTable[kFreqStepLowestPeq], 19.7);
    EXPECT_DOUBLE_EQ(FreqTable[kFreqStepLowestLowPass], 35.1);
    EXPECT_DOUBLE_EQ(FreqTable[kFreqStep1kHz], 1000.0);
    EXPECT_DOUBLE_EQ(FreqTable[kFreqStepHighestHighPass], 16000.0);
    EXPECT_DOUBLE_EQ(FreqTable[kFreqStepHighest], 20200.0);
    EXPECT_DOUBLE_EQ(FreqTable[114], 90.1);
    EXPECT_DOUBLE_EQ(FreqTable[115], 94.0);
    EXPECT_DOUBLE_EQ(FreqTable[116], 95.0);
    EXPECT_DOUBLE_EQ(FreqTable[326], 5440.0);
    EXPECT_DOUBLE_EQ(FreqTable[327], 5500.0);
    EXPECT_DOUBLE_EQ(FreqTable[328], 5660.0);
}

// A mistyped entry almost always leaves these bands or breaks the rise.
// Above step 114 the scale runs about 1.4 to 2.7 % sharp.
TEST(FrequencyScale, RisesAndStaysCloseToThirtySixStepsPerOctave)
{
    for (int k = 0; k < kFreqSteps; ++k) {
        const double nominal = 10.0 * std::pow(2.0, k / 36.0);
        const double ratio = FreqTable[k] / nominal;
        if (k <= 114) {
            EXPECT_NEAR(ratio, 1.0, 0.007) << "step " << k;
        } else {
            EXPECT_TRUE(ratio >= 1.013 && ratio <= 1.028) << "step " << k << " ratio " << ratio;
        }
        if (k > 0) {
            EXPECT_LT(FreqTable[k - 1], FreqTable[k]) << "step " << k;
        }
    }
}

TEST(FrequencyScale, LabelsUseOneDecimalBelowOneHundredHertzAndWholeHertzAbove)
{
    EXPECT_STREQ(FreqLabel[114], "90.1Hz");
    EXPECT_STREQ(FreqLabel[118], "99.0Hz");
    EXPECT_STREQ(FreqLabel[119], "101Hz");
    EXPECT_STREQ(FreqLabel[327], "5500Hz");
    char expected[16];
    for (int k = 0; k < kFreqSteps; ++k) {
        if (FreqTable[k] < 100)
            std::snprintf(expected, sizeof expected, "%.1fHz", FreqTable[k]);
        else
            std::snprintf(expected, sizeof expected, "%.0fHz", FreqTable[k]);
        EXPECT_STREQ(FreqLabel[k], expected) << "step " << k;
    }
}

TEST(FreqIndexFromHz, RoundsUpToTheNextTableValueAndNeverGivesStepZero)
{
    EXPECT_EQ(FreqIndexFromHz(9), 1);
    EXPECT_EQ(FreqIndexFromHz(10), 1);
    EXPECT_EQ(FreqIndexFromHz(1000), 238);
    EXPECT_EQ(FreqIndexFromHz(1001), 239);
    EXPECT_EQ(FreqIndexFromHz(91), 115);
    EXPECT_EQ(FreqIndexFromHz(20000), 394);
    EXPECT_EQ(FreqIndexFromHz(25000), 394);
    EXPECT_EQ(FreqIndexFromHz(std::numeric_limits<double>::quiet_NaN()), 394);
    for (int k = 1; k < kFreqSteps; ++k) EXPECT_EQ(FreqIndexFromHz(FreqTable[k]), k);
}

TEST(Bandwidth, TextShowsOctavesUnlessAShelfFlagIsSetAndNeverReadsPastTheTable)
{
    EXPECT_EQ(BandwidthText(18, 0, 0), "0.228 oct");
    EXPECT_EQ(BandwidthText(2, 0, 0), "0.011 oct");
    EXPECT_EQ(BandwidthText(41, 0, 0), "3.595 oct");
    EXPECT_EQ(BandwidthText(18, 1, 1), "HISHELF");
    EXPECT_EQ(BandwidthText(18, 0, 1), "LOSHELF");
    EXPECT_EQ(BandwidthText(18, 5, 0), "HISHELF");
    EXPECT_EQ(BandwidthText(-7, 0, 1), "LOSHELF");
    // Steps outside the table, which only an image can bring, read nothing.
    for (int step : {INT_MIN, -212, -7, 0, 1, 42, 43, INT_MAX}) {
        EXPECT_EQ(BandwidthText(step, 0, 0), kBandwidthOutOfRangeText) << step;
        EXPECT_FALSE(BandwidthOctaves(step).has_value()) << step;
    }
    EXPECT_DOUBLE_EQ(BandwidthOctaves(2).value(), 0.011);
    EXPECT_DOUBLE_EQ(BandwidthOctaves(41).value(), 3.595);
}

TEST(Bandwidth, StepFromOctavesTakesTheNearestEntryWithinTheTable)
{
    EXPECT_EQ(BandwidthStepFromOctaves(0.5), 27);
    EXPECT_EQ(BandwidthStepFromOctaves(1.0), 33);
    EXPECT_EQ(BandwidthStepFromOctaves(0.228), 18);
    EXPECT_EQ(BandwidthStepFromOctaves(3.2), 40);
    EXPECT_EQ(BandwidthStepFromOctaves(0.0), 2);
    EXPECT_EQ(BandwidthStepFromOctaves(-1.0), 2);
    EXPECT_EQ(BandwidthStepFromOctaves(std::numeric_limits<double>::quiet_NaN()), 2);
    EXPECT_EQ(BandwidthStepFromOctaves(10.0), 41);
    for (int i = 0; i + 1 < kOctaveSteps; ++i) {
        const double low = OctaveTable[i], high = OctaveTable[i + 1];
        ASSERT_LT(low, high);
        const double mid = (low + high) / 2, nudge = (high - low) / 100;
        EXPECT_EQ(BandwidthStepFromOctaves(low), i + 2);
        EXPECT_EQ(BandwidthStepFromOctaves(mid - nudge), i + 2);
        EXPECT_EQ(BandwidthStepFromOctaves(mid + nudge), i + 3);
    }
}

TEST(FilterTypes, NamesKeepTheirBlanksAndUnknownTypesGetAText)
{
    EXPECT_STREQ(FilterTypeNames[0], "FLAT THRU ");
    EXPECT_STREQ(FilterTypeNames[1], " 6dB Butterworth");
    EXPECT_STREQ(FilterTypeNames[17], "12dB/Q=2.0");
    EXPECT_STREQ(FilterTypeNames[24], "24dB Link-Riley");
    EXPECT_STREQ(FilterTypeNames[27], "48dB Link-Riley");
    EXPECT_STREQ(FilterTypeNameAt(25), "48dB Butterworth");
    for (int type : {INT_MIN, -1, 28, INT_MAX}) EXPECT_STREQ(FilterTypeNameAt(type), kFilterTypeOutOfRangeText) << type;
}

TEST(FrequencyScale, LabelLookUpIsSafeForAnyStep)
{
    EXPECT_STREQ(FreqLabelAt(0), "10.0Hz");
    EXPECT_STREQ(FreqLabelAt(394), "20200Hz");
    for (int step : {INT_MIN, -1, 395, 65535, INT_MAX}) EXPECT_STREQ(FreqLabelAt(step), kFreqOutOfRangeText) << step;
}

TEST(OutputTexts, ShowGainDelayThresholdAndLimiterTimes)
{
    EXPECT_EQ(GainText(128), "+0.0dB");
    EXPECT_EQ(GainText(129), "+0.5dB");
    EXPECT_EQ(GainText(8), "-60.0dB");
    EXPECT_EQ(GainText(140), "+6.0dB");
    EXPECT_EQ(PeqGainText(98), "-3.0dB");

    EXPECT_EQ(DelayMsText(0), "0.0 mS");
    EXPECT_EQ(DelayMsText(3), "0.3 mS");
    EXPECT_EQ(DelayMsText(125), "12.5 mS");
    EXPECT_EQ(DelayMetresText(125), "4.31 M");
    // The feet factor sits just below 0.113, so 125 steps stay under 14.125.
    EXPECT_EQ(DelayFeetText(125), "14.12 Ft");
    EXPECT_EQ(DelayFeetText(10), "1.13 Ft");

    EXPECT_EQ(ThresholdText(11), "Off");
    EXPECT_EQ(ThresholdText(12), "10 dBu");
    EXPECT_EQ(ThresholdText(62), "-40 dBu");
    EXPECT_EQ(ThresholdText(INT_MIN), "2147483670 dBu");

    EXPECT_EQ(LimiterTimeText(1), "10");
    EXPECT_EQ(LimiterTimeText(100), "1000");
}

}  // namespace
