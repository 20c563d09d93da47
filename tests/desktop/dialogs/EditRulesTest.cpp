// The channel editors' value rules, without any window.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "dialogs/EditRules.h"
#include "dialogs/ScrollThinning.h"
#include "dialogs/TypedValues.h"

using namespace std::chrono_literals;

TEST(TypedValues, ReadTheLeadingNumberAndCountOtherTextAsZero)
{
    EXPECT_DOUBLE_EQ(LeadingNumber("3.7"), 3.7);
    EXPECT_DOUBLE_EQ(LeadingNumber("  -0.7dB"), -0.7);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5 oct"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("2e"), 2.0);
    EXPECT_EQ(LeadingNumber("dB"), 0.0);
    EXPECT_EQ(LeadingNumber("-"), 0.0);
    EXPECT_EQ(LeadingNumber(""), 0.0);
    EXPECT_EQ(LeadingNumber("0e999"), 0.0);
    EXPECT_EQ(LeadingInteger("-50.9"), -50.0);
    EXPECT_EQ(LeadingInteger("x15"), 0.0);
}

TEST(TypedValues, KiloMultipliesOnlyAfterTheFirstCharacter)
{
    EXPECT_DOUBLE_EQ(TypedFrequencyHz("1k"), 1000.0);
    EXPECT_DOUBLE_EQ(TypedFrequencyHz("1.5 KHz"), 1500.0);
    EXPECT_DOUBLE_EQ(TypedFrequencyHz("k5"), 0.0);
    EXPECT_DOUBLE_EQ(TypedFrequencyHz("250"), 250.0);
}

TEST(TypedValues, ConversionsToStepsClampHugeValuesAndKeepTypedDecimals)
{
    EXPECT_EQ(TruncateClamped(HUGE_VAL, 0, 125), 125);
    EXPECT_EQ(TruncateClamped(-HUGE_VAL, 0, 125), 0);
    EXPECT_EQ(TruncateClamped(std::nan(""), 5, 9), 5);
    EXPECT_EQ(TruncateClamped(LeadingNumber("1e999") * 10, 0, 125), 125);
    // 2.3 x 10 is 22.999999999999996 in binary; the user meant 23.
    EXPECT_EQ(TruncateClamped(2.3 * 10.0, 0, 125), 23);
    EXPECT_EQ(TruncateClamped(-0.7 * 2.0, -120, 12), -1);
    // 0.3 x 10 is 3.0000000000000004; its ceiling must still be 3.
    EXPECT_EQ(CeilClamped(0.3 * 10.0, -120, 120), 3);
    EXPECT_EQ(CeilClamped(12.5, -120, 120), 13);
}

// The windows' tests cover the typical entries; these are the edges.
TEST(OutputPageRules, EntriesOutsideTheRangesAreClamped)
{
    EXPECT_EQ(LevelStepsFromText("100"), 12);
    EXPECT_EQ(LevelStepsFromText("-999"), -120);
    EXPECT_EQ(GainFromLevelPosition(-12), 140);
    EXPECT_EQ(GainFromLevelPosition(120), 8);
    EXPECT_EQ(ThresholdFromText("turn it oFf now"), 11);
    EXPECT_EQ(ThresholdFromUpDown(-62, -1), 62);
    EXPECT_EQ(HoldFromText("250ms"), 25);
    EXPECT_EQ(HoldFromUpDown(100, 1), 100);
    EXPECT_EQ(HoldFromUpDown(1, -1), 1);
    EXPECT_EQ(DelayFromText("13", DelayUnit::Milliseconds), 125);
    EXPECT_EQ(DelayFromText("0.05", DelayUnit::Milliseconds), 0);
    EXPECT_EQ(DelayFromText("2.3", DelayUnit::Milliseconds), 23);
    EXPECT_EQ(DelayFromText("1", DelayUnit::Feet), 8);
    EXPECT_EQ(DelayFromUpDown(125, 1), 125);
    EXPECT_EQ(DelayFromUpDown(0, -1), 0);
}

TEST(PeqRules, TypedValuesStayInTheBandsRanges)
{
    EXPECT_EQ(PeqFrequencyFromText("100", PeqHighShelfRange()), 238);
    EXPECT_EQ(PeqGainTenthsFromText("-20"), -120);
    EXPECT_EQ(PeqGainTenthsFromText("0.3"), 3);
    const FrequencyRange both = PeqBandRange(1, 1);  // high shelf wins
    EXPECT_EQ(both.min, 238);
    EXPECT_EQ(both.max, 394);
}

TEST(CrossoverRules, RangesStayOrderedForAnyModelValue)
{
    EXPECT_EQ(HighPassRange(-7).max, 0);
    EXPECT_EQ(LowPassRange(900).min, 394);
    EXPECT_EQ(XoverFrequencyFromText("30000", HighPassRange(300)), 300);
}

TEST(SendThinning, CountedStepsSendOnEveryFifteenthAndReleaseAtOnce)
{
    SendThinner thinner;
    for (int i = 1; i < 15; ++i)
        EXPECT_FALSE(thinner.ShouldSend(i % 2 ? ScrollCode::LineForward : ScrollCode::ThumbTrack));
    EXPECT_TRUE(thinner.ShouldSend(ScrollCode::LineBack));
    EXPECT_FALSE(thinner.ShouldSend(ScrollCode::LineBack));
    EXPECT_TRUE(thinner.ShouldSend(ScrollCode::EndScroll));
    for (int i = 1; i < 15; ++i)
        EXPECT_FALSE(thinner.ShouldSend(ScrollCode::LineForward)) << "count restarts after a release";
    for (ScrollCode other : {ScrollCode::PageBack, ScrollCode::PageForward, ScrollCode::ToStart, ScrollCode::ToEnd})
        EXPECT_FALSE(thinner.ShouldSend(other));
    EXPECT_TRUE(thinner.ShouldSend(ScrollCode::ThumbRelease));
    EXPECT_EQ(ScrollStep(ScrollCode::ToStart), -5);
    EXPECT_EQ(ScrollStep(ScrollCode::ToEnd), 1);
    EXPECT_EQ(ScrollStep(ScrollCode::PageForward), 5);
}

TEST(SendThinning, PendingGainIsDueOnlyAfterHalfASecondAndOnlyOnce)
{
    PendingGainSend pending;
    const auto start = PendingGainSend::Clock::now();
    EXPECT_FALSE(pending.TakeIfDue(start + 10s));
    pending.Note(start);
    EXPECT_FALSE(pending.TakeIfDue(start + 500ms));
    EXPECT_TRUE(pending.TakeIfDue(start + 501ms));
    EXPECT_FALSE(pending.TakeIfDue(start + 900ms));
    pending.Note(start + 1s);
    pending.Clear();
    EXPECT_FALSE(pending.TakeIfDue(start + 3s));
}
