#include <gtest/gtest.h>

#include "Verdict.h"

namespace {

BandSnr Octave(double nominalHz, double snrDb) { return {nominalHz, nominalHz, snrDb, 0.0, snrDb}; }

OutputChecks Clean() { return {true, -12.0, 0, 0, {Octave(125, 35.0), Octave(250, kLeastSnrDb)}}; }

TEST(Verdict, IsOkOnlyWithoutAnyFaultAndAnSnrOfTheLeastCounts)
{
    const OutputVerdict ok = JudgeOutput(Clean());
    EXPECT_EQ(ok.verdict, Verdict::Ok);
    EXPECT_EQ(ok.text, "ok");
    EXPECT_TRUE(ok.noisyOctaves.empty());
    EXPECT_STREQ(VerdictName(ok.verdict), "ok");
}

TEST(Verdict, NamesTheFirstFaultAndSaysEveryOne)
{
    OutputChecks checks = Clean();
    checks.dropouts = 3;
    checks.clippedSamples = 40;
    checks.snr[1].snrDb = 12.5;
    const OutputVerdict v = JudgeOutput(checks);
    EXPECT_EQ(v.verdict, Verdict::Dropouts);
    EXPECT_STREQ(VerdictName(v.verdict), "dropouts");
    EXPECT_EQ(v.text,
              "3 dropouts while it played; clipped (40 samples at full scale, peak -12.0 dBFS); "
              "too noisy (SNR below 20 dB): 250 Hz octave 12.5 dB");
    ASSERT_EQ(v.noisyOctaves.size(), 1u);
    EXPECT_EQ(v.noisyOctaves[0].nominalHz, 250.0);

    checks.dropouts = 0;
    EXPECT_EQ(JudgeOutput(checks).verdict, Verdict::Clipped);
    checks.clippedSamples = 0;
    EXPECT_EQ(JudgeOutput(checks).verdict, Verdict::TooNoisy);
}

// Without a signal its SNR means nothing: only what is not found is said.
TEST(Verdict, NoSignalLeavesTheNoiseUnjudged)
{
    OutputChecks checks = Clean();
    checks.signalFound = false;
    checks.peakDbfs = -71.3;
    checks.snr[0].snrDb = -60.0;
    const OutputVerdict v = JudgeOutput(checks);
    EXPECT_EQ(v.verdict, Verdict::NoSignal);
    EXPECT_EQ(v.text, "no signal (peak -71.3 dBFS)");
    EXPECT_TRUE(v.noisyOctaves.empty());
}

}  // namespace
