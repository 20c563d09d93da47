#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tuning/FilterFile.h"
#include "tuning/TuningText.h"

namespace {

const IdealFilter& FilterOf(const FilterFile& file, std::size_t i)
{
    EXPECT_LT(i, file.filters.size());
    EXPECT_TRUE(file.filters[i].filter.has_value()) << file.filters[i].problem;
    return *file.filters[i].filter;
}

TEST(FilterFile, ReadsEqualiserLinesWithQBandwidthAndShelfSlopes)
{
    const FilterFile file = ParseFilterFile(
        "Preamp: -3.2 dB\n"
        "Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41\n"
        "Filter 2: ON PK Fc 2.5 kHz Gain 2 dB BW Oct 1.0\n"
        "Filter 3: ON LSC 6 dB Fc 80 Hz Gain 4.5 dB\n"
        "Filter 4: ON HS Fc 8000 Hz Gain -2 dB\n"
        "Filter: ON HSC Fc 10000 Hz Gain 3 dB Q 0.5\n");
    EXPECT_EQ(file.preampDb, -3.2);
    EXPECT_EQ(file.preampLine, 1);
    ASSERT_EQ(file.filters.size(), 5u);
    const IdealFilter& peak = FilterOf(file, 0);
    EXPECT_EQ(peak.kind, FilterKind::Peak);
    EXPECT_EQ(peak.hz, 100.0);
    EXPECT_EQ(peak.gainDb, -3.0);
    EXPECT_EQ(peak.q, 1.41);
    EXPECT_EQ(file.filters[0].line, 2);
    EXPECT_EQ(FilterOf(file, 1).hz, 2500.0);
    EXPECT_NEAR(FilterOf(file, 1).q, 1.4142, 1e-4);  // one octave
    EXPECT_EQ(FilterOf(file, 2).kind, FilterKind::LowShelf);
    // A 6 dB slope is half the default: a lower Q than the 12 dB shelf's 0.707.
    EXPECT_LT(FilterOf(file, 2).q, 0.6);
    EXPECT_EQ(FilterOf(file, 3).kind, FilterKind::HighShelf);
    EXPECT_NEAR(FilterOf(file, 3).q, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(FilterOf(file, 4).q, 0.5);
}

TEST(FilterFile, ReadsTheRoomEqSettingsTextWithPaddingNoneLinesAndDecimalCommas)
{
    const FilterFile file = ParseFilterFile(
        "Filter Settings file\r\n"
        "\r\n"
        "Room EQ V5.20\r\n"
        "Dated: 8 Dec 2026 10:00:00\r\n"
        "Notes: main left\r\n"
        "Equaliser: Generic\r\n"
        "Filter  1: ON  PK       Fc   63,5 Hz  Gain  -5,5 dB  Q  4,000\r\n"
        "Filter  2: ON  None\r\n"
        "Filter  3: ON  LS 12dB  Fc   120 Hz   Gain   3,0 dB\r\n"
        "Filter 10: OFF PK       Fc   500 Hz   Gain  -1,0 dB  Q  2,000\r\n"
        "Filter 11: ON  NO       Fc   50 Hz\r\n");
    ASSERT_EQ(file.filters.size(), 4u);
    EXPECT_FALSE(file.preampDb);
    const IdealFilter& peak = FilterOf(file, 0);
    EXPECT_EQ(peak.hz, 63.5);
    EXPECT_EQ(peak.gainDb, -5.5);
    EXPECT_EQ(peak.q, 4.0);
    EXPECT_EQ(file.filters[0].line, 7);
    EXPECT_EQ(FilterOf(file, 1).kind, FilterKind::LowShelf);
    EXPECT_EQ(file.filters[1].line, 9);
    EXPECT_EQ(file.filters[2].problem, "switched off");
    EXPECT_EQ(file.filters[3].problem, "unsupported type NO");
    EXPECT_EQ(file.filters[3].text, "Filter 11: ON  NO       Fc   50 Hz");
}

TEST(FilterFile, SaysWhatIsMissingFromAFilterAndRefusesAFileWithout)
{
    const FilterFile file = ParseFilterFile(
        "Filter 1: ON PK Fc 100 Hz Gain -3 dB\n"
        "Filter 2: ON PK Gain -3 dB Q 1\n"
        "Filter 3: ON PK Fc 100 Hz Q 1\n"
        "Filter 4: ON PK Fc 100 Hz Gain 1 dB Q 0\n"
        "Filter 5: ON AP Fc 100 Hz Q 1\n"
        "Filter 6: ON Fc 100 Hz Gain 1 dB Q 1\n");
    ASSERT_EQ(file.filters.size(), 6u);
    EXPECT_EQ(file.filters[0].problem, "no Q or bandwidth");
    EXPECT_EQ(file.filters[1].problem, "no frequency (Fc)");
    EXPECT_EQ(file.filters[2].problem, "no gain");
    EXPECT_EQ(file.filters[3].problem, "Q is not above 0");
    EXPECT_EQ(file.filters[4].problem, "unsupported type AP");
    EXPECT_EQ(file.filters[5].problem, "no filter type");
    for (const FileFilter& f : file.filters) EXPECT_FALSE(f.filter) << f.text;

    EXPECT_THROW(ParseFilterFile("Filter Settings file\nNotes: none\n"), TuningFileError);
    try {
        ParseFilterFile("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nPreamp: loud\n");
        ADD_FAILURE();
    } catch (const TuningFileError& e) {
        EXPECT_EQ(e.Line(), 2);
    }
}

}  // namespace
