#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tuning/FilterImport.h"

namespace {

FilterImport Import(const std::string& text, int levelStep = kGainStepZero)
{
    return ImportFilters(ParseFilterFile(text), levelStep);
}

TEST(FilterImport, PutsAPeakOnTheNearestStepsAndSaysWhetherItChanged)
{
    const FilterImport result = Import(
        "Filter 1: ON PK Fc 100 Hz Gain -3.04 dB Q 1.41\n"
        "Filter 2: ON PK Fc 1000 Hz Gain 2.5 dB BW Oct 0.991\n"
        "Filter 3: ON PK Fc 1000 Hz Gain 2.5 dB Q 1\n");
    ASSERT_EQ(result.lines.size(), 3u);
    // 100 Hz lies halfway between 99 and 101 Hz: the higher step; Q 1.41 is 1.003 octaves.
    const PeqBand& first = result.bands[0];
    EXPECT_FALSE(first.flat);
    EXPECT_EQ(first.freq, 119);
    EXPECT_EQ(first.gain, 98);
    EXPECT_EQ(first.bandwidth, 33);
    EXPECT_EQ(first.shelf, Shelf::None);
    EXPECT_EQ(result.lines[0].outcome, ImportOutcome::Changed);
    EXPECT_EQ(result.lines[0].detail, "PK 100 Hz -3.0 dB Q 1.41 -> 101Hz -3.0dB 0.991oct");
    EXPECT_EQ(result.lines[0].band, 0);
    EXPECT_EQ(result.lines[1].outcome, ImportOutcome::Kept);
    EXPECT_EQ(result.bands[1].gain, 153);
    // Frequency and gain on their steps, but 1.388 octaves become 1.414.
    EXPECT_EQ(result.lines[2].outcome, ImportOutcome::Changed);
    EXPECT_EQ(result.bands[2].bandwidth, 35);
    EXPECT_GT(result.largestDeviationDb, 0.0);
}

TEST(FilterImport, DropsWhatTheUnitCannotHoldAndKeepsTheThreeLargestEffects)
{
    const FilterImport result = Import(
        "Filter 1: ON PK Fc 50 Hz Gain -1.0 dB Q 1\n"
        "Filter 2: ON PK Fc 200 Hz Gain -6.0 dB Q 1\n"
        "Filter 3: ON PK Fc 25000 Hz Gain -6.0 dB Q 1\n"
        "Filter 4: ON PK Fc 800 Hz Gain 12.5 dB Q 1\n"
        "Filter 5: ON PK Fc 2000 Hz Gain -12.0 dB Q 1\n"
        "Filter 6: ON PK Fc 5000 Hz Gain 2.0 dB Q 1\n"
        "Filter 7: ON NO Fc 60 Hz\n");
    ASSERT_EQ(result.lines.size(), 7u);
    const auto outcome = [&](std::size_t i) { return result.lines[i].outcome; };
    EXPECT_EQ(outcome(0), ImportOutcome::Dropped);
    EXPECT_EQ(result.lines[0].detail, "no band left: three filters have a larger effect");
    EXPECT_NE(outcome(1), ImportOutcome::Dropped);
    EXPECT_NE(result.lines[2].detail.find("out of the unit's range: frequency"), std::string::npos);
    EXPECT_NE(result.lines[3].detail.find("out of the unit's range: gain"), std::string::npos);
    EXPECT_NE(outcome(4), ImportOutcome::Dropped);  // -12 dB is the table's end
    EXPECT_NE(outcome(5), ImportOutcome::Dropped);
    EXPECT_EQ(result.lines[6].detail, "unsupported type NO");
    // The kept ones in file order.
    EXPECT_EQ(result.lines[1].band, 0);
    EXPECT_EQ(result.lines[4].band, 1);
    EXPECT_EQ(result.lines[5].band, 2);
    EXPECT_EQ(result.bands[1].gain, 8);
    // The dropped 12.5 dB filter is part of the file's curve, not the unit's.
    EXPECT_GT(result.largestDeviationDb, 11.0);
}

TEST(FilterImport, MatchesAShelfByItsDrawnCurve)
{
    const IdealFilter shelf{FilterKind::LowShelf, 120.0, 6.0, std::sqrt(0.5)};
    const FilterImport result = Import("Filter 1: ON LSC Fc 120 Hz Gain 6.0 dB Q 0.7071\n");
    const PeqBand& band = result.bands[0];
    EXPECT_EQ(band.shelf, Shelf::Low);
    EXPECT_EQ(band.gain, 188);
    EXPECT_EQ(result.lines[0].outcome, ImportOutcome::Changed);
    // The shelf's switch holds full gain below the band's step: the step sits
    // below the cookbook's midpoint, and the drawn curve stays close.
    EXPECT_LT(FreqTable[band.freq], 120.0);
    EXPECT_LT(result.largestDeviationDb, 1.5);
    // Far better than the band at the file's own frequency and the formula's width.
    PeqBands naive = result.bands;
    naive[0].freq = 128;  // 120 Hz
    naive[0].bandwidth = BandwidthStepFromOctaves(OctavesFromQ(shelf.q));
    const ResponseCurve curve = PeqBandsCurve(naive);
    double naiveLargest = 0.0;
    for (int k = FreqIndexFromHz(20.0); FreqTable[k] <= 20000.0; ++k)
        naiveLargest = std::max(naiveLargest, std::fabs(IdealFilterDb(shelf, FreqTable[k]) - curve[k]));
    EXPECT_GT(naiveLargest, result.largestDeviationDb + 1.0);

    EXPECT_EQ(Import("Filter 1: ON HS Fc 4000 Hz Gain -4 dB\n").bands[0].shelf, Shelf::High);
}

TEST(FilterImport, AddsThePreampToTheChannelLevelOnItsHalfDecibelSteps)
{
    const FilterImport exact = Import("Preamp: -3.0 dB\n", 100);
    ASSERT_EQ(exact.levelStep, 94);
    EXPECT_EQ(exact.lines[0].outcome, ImportOutcome::Kept);
    EXPECT_NEAR(exact.largestDeviationDb, 0.0, 1e-12);
    for (int b = 0; b < kPeqBands; ++b) EXPECT_TRUE(exact.bands[b].flat);

    const FilterImport rounded = Import("Filter 1: ON PK Fc 100 Hz Gain 0 dB Q 1\nPreamp: -3.2 dB\n");
    ASSERT_EQ(rounded.levelStep, 122);
    ASSERT_EQ(rounded.lines.size(), 2u);
    EXPECT_EQ(rounded.lines[1].outcome, ImportOutcome::Changed);
    EXPECT_EQ(rounded.lines[1].line, 2);
    EXPECT_NEAR(rounded.largestDeviationDb, 0.2, 1e-9);
    // Beyond the level's top the preamp is held to it.
    EXPECT_EQ(Import("Preamp: 9 dB\n", 130).levelStep, kGainStepMax);
}

}  // namespace
