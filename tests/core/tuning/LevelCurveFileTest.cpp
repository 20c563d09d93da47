#include <gtest/gtest.h>

#include <string>

#include "tuning/LevelCurveFile.h"
#include "tuning/TuningText.h"

namespace {

// Ten points 20 Hz .. 20 kHz with the given separator and decimal mark.
std::string Points(const std::string& separator, char decimal = '.', int count = 10)
{
    std::string text;
    double hz = 20.0;
    for (int i = 0; i < count; ++i, hz *= 2.0) {
        std::string level = std::to_string(80 + i) + decimal + "5";
        text += std::to_string(static_cast<int>(hz)) + separator + level + separator + "-45" + decimal + "0\n";
    }
    return text;
}

void ExpectRefused(const std::string& text, int line, const std::string& reason)
{
    try {
        ParseLevelCurve(text);
        ADD_FAILURE() << "accepted:\n" << text;
    } catch (const TuningFileError& e) {
        EXPECT_EQ(e.Line(), line) << e.what();
        EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
}

TEST(LevelCurveFile, ReadsEachLayoutWithCommentsHeadingsAndDecimalCommas)
{
    const std::string header =
        "* LevelCurve data measured by a program\n# Another comment\n; and one more\n\n"
        "Freq(Hz) SPL(dB) Phase(degrees)\n";
    for (const auto& [layout, text] : std::vector<std::pair<std::string, std::string>>{
             {"blanks", header + Points("   ")},
             {"tabs", header + Points("\t")},
             {"comma", header + Points(",")},
             {"comma blank", header + Points(", ")},
             {"semicolon, decimal comma", header + Points(";", ',')},
             {"tab, decimal comma", Points("\t", ',')},
             {"blank, decimal comma", Points(" ", ',')},
             {"frd CRLF", [] {
                  std::string t = Points(" ");
                  for (std::size_t i = t.find('\n'); i != std::string::npos; i = t.find('\n', i + 2)) t.insert(i, "\r");
                  return t;
              }()}}) {
        SCOPED_TRACE(layout);
        const LevelCurve m = ParseLevelCurve(text);
        ASSERT_EQ(m.hz.size(), 10u);
        EXPECT_EQ(m.hz[0], 20.0);
        EXPECT_EQ(m.hz[9], 10240.0);
        EXPECT_DOUBLE_EQ(m.db[0], 80.5);
        EXPECT_DOUBLE_EQ(m.db[9], 89.5);
    }
    // Phase is optional; a point without it reads as well.
    EXPECT_EQ(ParseLevelCurve(Points(" ") + "20000 70\n").db.back(), 70.0);
}

TEST(LevelCurveFile, RefusesBrokenPointsWithTheLineAndTheReason)
{
    const std::string good = "* head\n" + Points(" ");  // points on lines 2..11
    ExpectRefused(good + "5000 80\n", 12, "below the one before");
    ExpectRefused(good + "10240 80\n", 12, "repeats");
    ExpectRefused("0 80\n" + Points(" "), 1, "not above 0");
    ExpectRefused("-5 80\n" + Points(" "), 1, "not above 0");
    ExpectRefused(good + "20000 nan\n", 12, "not a finite number");
    ExpectRefused(good + "20000 1e999\n", 12, "not a finite number");
    ExpectRefused(good + "20000 loud\n", 12, "expected a frequency");
    // Nine points in the audio band, however many outside it.
    ExpectRefused("5 1\n10 1\n" + Points(" ", '.', 9) + "25000 1\n", 0, "only 9 points");
    EXPECT_EQ(ParseLevelCurve("19.9 1\n" + Points(" ", '.', 10)).hz.size(), 11u);
}

}  // namespace
