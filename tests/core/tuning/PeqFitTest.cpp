#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tuning/PeqFit.h"
#include "tuning/TuningText.h"

namespace {

// A measurement at every frequency step: `level` plus `curve`.
LevelCurve AtSteps(const ResponseCurve& curve, double level = 80.0)
{
    LevelCurve m;
    for (int k = 0; k < kFreqSteps; ++k) {
        m.hz.push_back(FreqTable[k]);
        m.db.push_back(level + curve[static_cast<std::size_t>(k)]);
    }
    return m;
}

ResponseCurve Inverse(const PeqBands& bands)
{
    ResponseCurve curve = PeqBandsCurve(bands);
    for (double& v : curve) v = -v;
    return curve;
}

double LargestBoost(const FitResult& r)
{
    const ResponseCurve peq = PeqBandsCurve(r.bands);
    return *std::max_element(peq.begin() + r.firstStep, peq.begin() + r.lastStep + 1);
}

TEST(PeqFit, UndoesASettingTheUnitCanHold)
{
    PeqBands setting{};
    setting[0] = {100, 128 - 80, 36, Shelf::None, false};  // 63.7 Hz, -8 dB, 1.58 oct
    setting[1] = {250, 128 + 45, 30, Shelf::None, false};  // 1260 Hz, +4.5 dB, 0.67 oct
    setting[2] = {330, 128 - 50, 33, Shelf::High, false};  // high shelf -5 dB
    const FitResult r = FitPeq(AtSteps(Inverse(setting)));
    EXPECT_GT(r.rmsBeforeDb, 2.0);
    EXPECT_LT(r.rmsAfterDb, 0.1);
    EXPECT_LE(r.rmsAfterDb, r.rmsRoundedDb + 1e-6);
    // The default range, 40 Hz .. 16 kHz.
    EXPECT_EQ(FreqTable[r.firstStep], 40.1);
    EXPECT_EQ(FreqTable[r.lastStep], 16000.0);
    // The prediction is the measurement plus the unit's own curve of the bands.
    const ResponseCurve peq = PeqBandsCurve(r.bands);
    for (std::size_t i = 0; i < r.measured.size(); ++i)
        ASSERT_NEAR(r.predicted[i], r.measured[i] + peq[static_cast<std::size_t>(r.firstStep) + i], 1e-9);
}

TEST(PeqFit, KeepsWithinTheLimitsAndDoesNotChaseNarrowDips)
{
    PeqBands wideDip{};
    wideDip[0] = {200, 128 + 120, 39, Shelf::None, false};  // a 12 dB hump 2.4 octaves wide, inverted
    const LevelCurve dip = AtSteps(Inverse(wideDip));
    EXPECT_LE(LargestBoost(FitPeq(dip)), 6.05);
    FitOptions gentle;
    gentle.maxBoostDb = 3.0;
    const FitResult limited = FitPeq(dip, gentle);
    EXPECT_LE(LargestBoost(limited), 3.05);
    EXPECT_LT(limited.rmsAfterDb, limited.rmsBeforeDb / 2);
    for (const PeqBand& band : limited.bands) EXPECT_LE(band.gain, 128 + 30);

    // A 10 dB dip 1/7 octave wide at 1 kHz in a flat measurement.
    LevelCurve notch = AtSteps(ResponseCurve{});
    for (int k = 236; k <= 240; ++k) notch.db[static_cast<std::size_t>(k)] -= 10.0;
    const FitResult unchased = FitPeq(notch);
    EXPECT_GT(unchased.rmsBeforeDb, 0.5);
    EXPECT_LT(LargestBoost(unchased), 0.5);
}

TEST(PeqFit, FollowsTheTargetsShapeAtTheResultsLevel)
{
    PeqBands tilt{};
    tilt[0] = {150, 128 + 40, 38, Shelf::Low, false};  // +4 dB below 184 Hz
    const LevelCurve target = AtSteps(PeqBandsCurve(tilt), 0.0);
    FitOptions options;
    options.target = target;
    const FitResult same = FitPeq(AtSteps(PeqBandsCurve(tilt), 85.0), options);
    EXPECT_LT(same.rmsBeforeDb, 0.01);
    for (const PeqBand& band : same.bands) EXPECT_TRUE(band.flat);
    EXPECT_NEAR(same.target.front() - same.target.back(), same.measured.front() - same.measured.back(), 0.01);

    const FitResult flat = FitPeq(AtSteps(PeqBandsCurve(tilt), 85.0));
    EXPECT_GT(flat.rmsBeforeDb, 1.0);
    EXPECT_LT(flat.rmsAfterDb, 0.1);
}

// A channel 10 dB short below 100 Hz, more than a band may boost: with its
// level following, the fit reaches it by bringing the rest down; with the
// level held it boosts what it may and leaves the rest where it is.
TEST(PeqFit, HoldsTheChannelsLevelWhenAsked)
{
    LevelCurve measured;
    for (int k = 0; k < kFreqSteps; ++k) {
        measured.hz.push_back(FreqTable[k]);
        measured.db.push_back(FreqTable[k] < 100.0 ? 75.0 : 85.0);
    }
    const auto levelChange = [](const FitResult& r) {
        double sum = 0.0;
        for (std::size_t i = 0; i < r.measured.size(); ++i) sum += r.predicted[i] - r.measured[i];
        return sum / static_cast<double>(r.measured.size());
    };
    FitOptions options;
    const FitResult following = FitPeq(measured, options);
    options.holdLevel = true;
    const FitResult held = FitPeq(measured, options);
    EXPECT_LT(levelChange(following), -2.0);
    EXPECT_GT(levelChange(held), -0.5);
    EXPECT_LT(held.rmsAfterDb, held.rmsBeforeDb);
    EXPECT_NEAR(held.target.front(), held.target.back(), 1e-9) << "the flat target at the measurement's level";
}

TEST(PeqFit, RefusesARangeTheMeasurementDoesNotCover)
{
    const LevelCurve m = AtSteps(ResponseCurve{});
    FitOptions options;
    options.lowHz = 1000.0;
    options.highHz = 1100.0;  // 1000 .. 1100 Hz: five steps
    EXPECT_THROW(FitPeq(m, options), TuningFileError);
    options.highHz = FreqTable[kFreqStep1kHz + kFitLeastSteps - 1];  // just enough steps
    EXPECT_EQ(FitPeq(m, options).lastStep, kFreqStep1kHz + kFitLeastSteps - 1);
    options.highHz = FreqTable[kFreqStep1kHz + kFitLeastSteps - 2];
    EXPECT_THROW(FitPeq(m, options), TuningFileError);
    options.highHz = 1000.0;
    EXPECT_THROW(FitPeq(m, options), std::invalid_argument);
    options = {};
    options.maxCutDb = -1.0;
    EXPECT_THROW(FitPeq(m, options), std::invalid_argument);

    LevelCurve part = m;  // 200 Hz .. 20 kHz measured: the range starts there
    part.hz.erase(part.hz.begin(), part.hz.begin() + 155);
    part.db.erase(part.db.begin(), part.db.begin() + 155);
    EXPECT_EQ(FitPeq(part).firstStep, 155);
}

// A fit held to no boost and 1 dB of cut on a wavy measurement once left a
// band at 0 dB: it adds nothing, so it is written flat.
TEST(PeqFit, WritesABandLeftAt0DbFlat)
{
    LevelCurve m = AtSteps(ResponseCurve{});
    for (std::size_t k = 0; k < m.db.size(); ++k) {
        const double x = std::log2(m.hz[k] / 20.0);
        m.db[k] += 0.7 * std::sin(x * 0.7 + 9.4) + 2.4 * std::sin(x * 1.9 + 9.5) + 1.8 * std::sin(x * 3.3);
    }
    FitOptions options;
    options.maxBoostDb = 0.0;
    options.maxCutDb = 1.0;
    const FitResult r = FitPeq(m, options);
    EXPECT_LT(r.rmsAfterDb, r.rmsBeforeDb);
    for (const PeqBands* bands : {&r.bands, &r.roundedBands})
        for (const PeqBand& band : *bands) EXPECT_TRUE(band.flat || band.gain != kGainStepZero) << PeqBandText(band);
}

}  // namespace
