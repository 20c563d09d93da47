#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "FrequencyResponse.h"
#include "Levels.h"
#include "Sweep.h"
#include "SweepSearch.h"

namespace {

// The sweep convolved with its inverse filter, as an impulse response.
ImpulseResponse SweepThroughInverse(const SweepSettings& settings)
{
    const Deconvolved d = Deconvolve(MakeSweep(settings), MakeInverseFilter(settings));
    return CutImpulse(d, d.TimeZeroOf(0), static_cast<double>(d.TimeZeroOf(0)), settings.rate, SubWindow());
}

TEST(Sweep, HasItsLengthAndPeakLevelAndFadesFromAndToSilence)
{
    const SweepSettings settings;
    const std::vector<float> sweep = MakeSweep(settings);
    ASSERT_EQ(sweep.size(), 96000u);
    EXPECT_NEAR(PeakDbfs(sweep), -20.0, 0.01);
    EXPECT_EQ(sweep.front(), 0.0f);
    EXPECT_LT(std::fabs(sweep.back()), 1e-4);
    EXPECT_EQ(MakeInverseFilter(settings).size(), sweep.size());
}

TEST(Sweep, RefusesLoudLevelsUnlessAskedAndSettingsThatCannotBe)
{
    SweepSettings loud;
    loud.levelDbfs = -5.0;
    EXPECT_THROW(MakeSweep(loud), std::invalid_argument);
    loud.allowLoud = true;
    EXPECT_NEAR(PeakDbfs(MakeSweep(loud)), -5.0, 0.01);
    loud.levelDbfs = 0.0;  // full scale is the most
    EXPECT_NEAR(PeakDbfs(MakeSweep(loud)), 0.0, 0.01);
    loud.levelDbfs = 0.5;
    EXPECT_THROW(MakeSweep(loud), std::invalid_argument);

    SweepSettings atLimit;
    atLimit.levelDbfs = kSweepLoudDbfs;
    EXPECT_NO_THROW(MakeSweep(atLimit));

    SweepSettings aboveNyquist;
    aboveNyquist.endHz = 24001.0;
    EXPECT_THROW(MakeSweep(aboveNyquist), std::invalid_argument);
    SweepSettings falling;
    falling.startHz = 30000.0;
    falling.endHz = 20.0;
    EXPECT_THROW(MakeSweep(falling), std::invalid_argument);
    SweepSettings longFades;
    longFades.seconds = 0.02;
    EXPECT_THROW(MakeInverseFilter(longFades), std::invalid_argument);
    SweepSettings noFades;
    noFades.fadeInSeconds = noFades.fadeOutSeconds = 0.0;
    EXPECT_NO_THROW(MakeSweep(noFades));
    noFades.seconds = 0.0;
    EXPECT_THROW(MakeSweep(noFades), std::invalid_argument);
}

// Sweep and inverse together pass everything in band at 0 dB, whatever
// the level, as an impulse at time zero (its band's low edge at 10 Hz rings,
// and the window's 100 ms before the peak keep that from 25 Hz up:
// within 0.2 dB, and from 40 Hz up within 0.02 dB).
TEST(Sweep, ConvolvedWithItsInverseIsAFlatZeroDbImpulseAtAnyLevel)
{
    for (double level : {-20.0, -40.0}) {
        SweepSettings settings;
        settings.levelDbfs = level;
        const ImpulseResponse impulse = SweepThroughInverse(settings);
        const FrequencyResponse r = ResponseOf(impulse, LogFrequencies(25.0, 20000.0, 6));
        for (std::size_t i = 0; i < r.hz.size(); ++i) {
            EXPECT_NEAR(r.db[i], 0.0, r.hz[i] < 40.0 ? 0.2 : 0.02) << r.hz[i] << " Hz at " << level << " dBFS";
            EXPECT_NEAR(r.phaseDeg[i], 0.0, r.hz[i] < 40.0 ? 2.0 : 0.5) << r.hz[i] << " Hz";
        }
    }
}

// A sweep played so late that its impulse would lie past the recording's
// end is not found; one whose impulse is the last sample is (any peak
// counting, as one sample cannot stand above a noise of its own); digital
// silence holds none.
TEST(Deconvolution, SearchesOnlyWithinTheRecordingAndNeedsBothSignals)
{
    const std::vector<float> inverse(4, 0.25f);
    const Deconvolved d = Deconvolve(std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f}, inverse);
    ASSERT_EQ(d.samples.size(), 7u);
    SweepSearch anyPeak;
    anyPeak.leastPeakOverNoiseDb = 0.0;
    EXPECT_FALSE(FindSweep(d, 4, anyPeak));  // time zero at 7
    const std::optional<FoundSweep> last = FindSweep(d, 3, anyPeak);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->peak, 6u);
    EXPECT_FALSE(FindSweep(Deconvolve(std::vector<float>(4, 0.0f), inverse), 0, anyPeak));
    EXPECT_THROW(Deconvolve(inverse, {}), std::invalid_argument);
    EXPECT_THROW(Deconvolve({}, inverse), std::invalid_argument);
}

}  // namespace
