#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "SequenceAnalysis.h"
#include "tests/signal/KnownSystems.h"
#include "tests/signal/SequenceRig.h"

namespace {

double Db(std::complex<double> h) { return 20.0 * std::log10(std::abs(h)); }
double Degrees(std::complex<double> h) { return std::arg(h) * 180.0 / std::numbers::pi; }
double WrappedDifference(double a, double b) { return std::remainder(a - b, 360.0); }

// The response within `tolerance` dB of the system's own from lowHz to highHz.
void ExpectResponse(const FrequencyResponse& r, const std::vector<Biquad>& system, double lowHz, double highHz,
                    double toleranceDb)
{
    int compared = 0;
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
        if (r.hz[i] < lowHz || r.hz[i] > highHz) continue;
        ++compared;
        ASSERT_NEAR(r.db[i], Db(ResponseAt(system, kRate, r.hz[i])), toleranceDb) << r.hz[i] << " Hz";
    }
    EXPECT_GT(compared, 100);
}

const std::vector<Biquad> kTops{PeakingBell(kRate, 1000.0, 2.0, 6.0), HighPass(kRate, 60.0, 0.707)};
const std::vector<Biquad> kSub{LowPass(kRate, 90.0, 0.5412), LowPass(kRate, 90.0, 1.3066),
                               HighPass(kRate, 25.0, 0.707)};

TEST(SequenceAnalysis, MeasuresAKnownFilterAndFractionalDelayBehindLatencyAndNoise)
{
    SequenceRig rig;
    const std::size_t tops = rig.Add();
    const double delay = 150.37;  // 3.1327 ms
    rig.Play(tops, kTops, delay);
    rig.Loopback(tops);
    const SequenceAnalysis analysis = rig.Analyse();
    ASSERT_TRUE(analysis.absoluteTime);
    EXPECT_NEAR(*analysis.latency, static_cast<double>(kLatency), 0.01);
    const OutputAnalysis& out = analysis.outputs[0];
    ASSERT_TRUE(out.found);
    EXPECT_EQ(out.verdict.verdict, Verdict::Ok) << out.verdict.text;
    EXPECT_EQ(out.clippedSamples, 0u);
    EXPECT_NEAR(out.arrivalMs, delay / kRate * 1000.0, 0.02);
    ExpectResponse(out.response, kTops, 100.0, 16000.0, 0.2);

    // Referred to the arrival, the phase is the filter's own.
    const FrequencyResponse aligned = ResponseOf(out.impulse, LogFrequencies(100.0, 16000.0, 6), 48, delay / kRate);
    for (std::size_t i = 0; i < aligned.hz.size(); ++i)
        EXPECT_NEAR(WrappedDifference(aligned.phaseDeg[i], Degrees(ResponseAt(kTops, kRate, aligned.hz[i]))), 0.0, 2.0)
            << aligned.hz[i] << " Hz";
}

// Without a loopback the first output found gives time zero; the outputs'
// differences are those of their delays.
TEST(SequenceAnalysis, ArrivalDifferencesInOneRecordingAreExactWithoutALoopback)
{
    SequenceRig rig;
    const std::size_t left = rig.Add(), right = rig.Add();
    rig.Play(left, kTops, 120.0);   // 2.5 ms
    rig.Play(right, kTops, 197.9);  // 4.1229 ms
    const SequenceAnalysis analysis = rig.Analyse();
    EXPECT_FALSE(analysis.absoluteTime);
    ASSERT_TRUE(analysis.outputs[left].found && analysis.outputs[right].found);
    EXPECT_NEAR(analysis.outputs[left].arrivalMs, 0.0, 1000.0 / kRate);
    EXPECT_NEAR(analysis.outputs[right].arrivalMs - analysis.outputs[left].arrivalMs, 77.9 / kRate * 1000.0, 0.01);
}

// The Sub's full-band peak wanders with what little it plays above its
// band; low-passed, its arrival follows a change of its delay.
TEST(SequenceAnalysis, TheSubsArrivalWithinItsBandFollowsItsDelay)
{
    SequenceRig rig;
    const std::size_t near = rig.Add(kSubBand, SubWindow(), kSubArrivalLowPassHz);
    const std::size_t far = rig.Add(kSubBand, SubWindow(), kSubArrivalLowPassHz);
    rig.Play(near, kSub, 192.0);  // 4 ms
    rig.Play(far, kSub, 314.4);   // 6.55 ms
    const SequenceAnalysis analysis = rig.Analyse();
    const OutputAnalysis& first = analysis.outputs[near];
    const OutputAnalysis& second = analysis.outputs[far];
    ASSERT_TRUE(first.found && second.found);
    EXPECT_NEAR(second.arrivalMs - first.arrivalMs, 2.55, 0.05);
    ExpectResponse(first.response, kSub, 25.0, 300.0, 0.2);
    EXPECT_EQ(first.verdict.verdict, Verdict::Ok) << first.verdict.text;
}

// A Sub heard faintly: the noise of the whole band buries its broad peak,
// which stands clear within its own band.
TEST(SequenceAnalysis, FindsAFaintSubWithinItsBand)
{
    SequenceRig rig;
    const std::size_t sub = rig.Add(kSubBand, SubWindow(), kSubArrivalLowPassHz);
    rig.Play(sub, kSub, 192.0, 0.03);  // its sweep's peak 50 dB below full scale, the noise's RMS 60 dB below
    const OutputAnalysis out = rig.Analyse(1e-3).outputs[sub];
    ASSERT_TRUE(out.found);
    EXPECT_EQ(out.verdict.verdict, Verdict::Ok) << out.verdict.text;
    const Deconvolved deconvolved = Deconvolve(rig.Microphone(), MakeInverseFilter({}));
    EXPECT_FALSE(FindSweep(deconvolved, rig.Sweeps()[sub].playOffset));
}

// An output that did not sound is not found and gets no position, however
// the others lie behind the latency; the next one found gives time zero.
TEST(SequenceAnalysis, FindsSweepsBehindAnUnknownLatencyAndSaysNoSignalForASilentOne)
{
    SequenceRig rig;
    const std::size_t silent = rig.Add(), left = rig.Add(), right = rig.Add();
    rig.Play(left, {}, 0.0);
    rig.Play(right, {}, 0.0);
    const SequenceAnalysis analysis = rig.Analyse();
    EXPECT_FALSE(analysis.outputs[silent].found);
    EXPECT_EQ(analysis.outputs[silent].verdict.verdict, Verdict::NoSignal);
    EXPECT_LT(analysis.outputs[silent].peakDbfs, -60.0);
    for (std::size_t output : {left, right}) {
        ASSERT_TRUE(analysis.outputs[output].found);
        EXPECT_EQ(analysis.outputs[output].found->start, rig.Sweeps()[output].playOffset + kLatency);
        EXPECT_NEAR(analysis.outputs[output].arrivalMs, 0.0, 0.01);
    }
    EXPECT_NEAR(*analysis.latency, static_cast<double>(kLatency), 0.0);

    // A silent sweep whose search could reach as far as the next, louder
    // one is not taken for it.
    SequenceRig close;
    close.SearchUpTo(2 * close.Spacing());
    const std::size_t first = close.Add(), unheard = close.Add(), loud = close.Add();
    close.Play(first, {}, 0.0);
    close.Play(loud, {}, 0.0, 2.0);
    const SequenceAnalysis near = close.Analyse();
    EXPECT_EQ(near.outputs[unheard].verdict.verdict, Verdict::NoSignal);
    ASSERT_TRUE(near.outputs[loud].found);
    EXPECT_EQ(near.outputs[loud].found->start, close.Sweeps()[loud].playOffset + kLatency);
    // Nor for a sweep played in between and left out (spoiled, played again).
    std::vector<PlayedSweep> kept{close.Sweeps()[first], close.Sweeps()[loud]};
    kept[0].nextPlayOffset = close.Sweeps()[unheard].playOffset;
    EXPECT_EQ(SearchReach(kept, 0, 2 * close.Spacing()), close.Spacing() - 1);
    EXPECT_EQ(SearchReach(kept, 1, 2 * close.Spacing()), 2 * close.Spacing());

    SequenceRig quiet;
    quiet.Add();
    const SequenceAnalysis nothing = quiet.Analyse();
    EXPECT_FALSE(nothing.latency);
    EXPECT_EQ(nothing.outputs[0].verdict.verdict, Verdict::NoSignal);

    // A recording that ends before the last sweep came back.
    SequenceRig cut;
    const std::size_t heard = cut.Add(), missed = cut.Add();
    cut.Play(heard, {}, 0.0);
    cut.Play(missed, {}, 0.0);
    const SequenceAnalysis early = cut.Analyse(1e-4, cut.Sweeps()[missed].playOffset);
    EXPECT_TRUE(early.outputs[heard].found);
    EXPECT_EQ(early.outputs[missed].verdict.verdict, Verdict::NoSignal);
}

// While the sequence runs: a sweep only partly come back already gives the
// latency; one not yet back, or silent, gives none.
TEST(SequenceAnalysis, TheLatencySoFarComesWithTheSweepsFirstPartAndNotBefore)
{
    SequenceRig rig;
    const std::size_t silent = rig.Add(), left = rig.Add();
    rig.Play(left, {}, 0.0);
    rig.Analyse();
    const std::vector<float> inverse = MakeInverseFilter({});
    const std::span<const float> microphone = rig.Microphone();
    const PlayedSweep& played = rig.Sweeps()[left];
    const std::size_t sweepEnd = played.playOffset + SweepLength({});
    const auto soFar = [&](std::size_t frames, const PlayedSweep& sweep) {
        return FindLatencySoFar(microphone.first(frames), {}, inverse, sweep, 48000);
    };
    EXPECT_EQ(soFar(sweepEnd, played), kLatency);  // 1.6 s of its 2 s back
    EXPECT_FALSE(soFar(played.playOffset + kLatency / 2, played));
    EXPECT_FALSE(soFar(microphone.size(), rig.Sweeps()[silent]));
    EXPECT_FALSE(soFar(played.playOffset, played));
}

TEST(SequenceAnalysis, SaysClipping)
{
    SequenceRig rig;
    rig.Play(rig.Add(), {}, 0.0, 12.0);  // a peak of 1.2 at full scale
    const OutputAnalysis out = rig.Analyse().outputs[0];
    EXPECT_EQ(out.verdict.verdict, Verdict::Clipped) << out.verdict.text;
    EXPECT_GT(out.clippedSamples, 1000u);
    EXPECT_NEAR(out.peakDbfs, 0.0, 0.01);
}

// White noise of a known level against a sweep of a known level: the
// sweep's energy in an octave is A^2 / 2 times its time there, the
// noise's sigma^2 times the octave's share of the band up to half the rate.
TEST(SequenceAnalysis, SnrPerOctaveFollowsAKnownNoiseAndATooNoisyOctaveIsNamed)
{
    SequenceRig rig;
    rig.Play(rig.Add(), {}, 0.0);
    const double sigma = 1e-3, amplitude = 0.1;
    const OutputAnalysis clean = rig.Analyse(sigma).outputs[0];
    ASSERT_EQ(clean.snr.size(), 8u);  // 125 Hz .. 16 kHz
    for (const BandSnr& band : clean.snr) {
        const double sweepShare = std::log(2.0) / std::log(22000.0 / 10.0);
        const double noiseShare = (band.centreHz / std::sqrt(2.0)) / (kRate / 2.0);
        const double expected =
            10.0 * std::log10(amplitude * amplitude / 2.0 * sweepShare / (sigma * sigma * noiseShare));
        EXPECT_NEAR(band.snrDb, expected, 1.0) << band.nominalHz << " Hz";
    }
    EXPECT_EQ(clean.verdict.verdict, Verdict::Ok) << clean.verdict.text;

    SequenceRig hummed;
    hummed.Play(hummed.Add(), {}, 0.0);
    hummed.Hum(120.0, 0.01);  // about 10 dB below the sweep in the 125 Hz octave
    const OutputAnalysis noisy = hummed.Analyse(sigma).outputs[0];
    EXPECT_EQ(noisy.verdict.verdict, Verdict::TooNoisy);
    ASSERT_EQ(noisy.verdict.noisyOctaves.size(), 1u) << noisy.verdict.text;
    EXPECT_EQ(noisy.verdict.noisyOctaves[0].nominalHz, 125.0);
    EXPECT_NE(noisy.verdict.text.find("125 Hz"), std::string::npos) << noisy.verdict.text;
}

}  // namespace
