#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <stdexcept>
#include <thread>

#include "Arrival.h"
#include "Fft.h"
#include "FrequencyResponse.h"
#include "Levels.h"

namespace {

constexpr double kRate = 48000.0;

// The direct sound and a reflection as loud, 10 ms later: a comb of 100 Hz
// teeth. Over many teeth its power averages to twice the direct sound's
// (+3 dB) and its complex response to the direct sound's alone (0 dB).
ImpulseResponse DirectAndReflection()
{
    ImpulseResponse impulse;
    impulse.samples.assign(4800, 0.0f);
    impulse.samples[100] = 1.0f;
    impulse.samples[580] = 1.0f;
    return impulse;
}

TEST(FrequencyResponse, AveragesPowerAndComplexValuesOverTheBand)
{
    const std::vector<double> grid = LogFrequencies();
    const FrequencyResponse again = Smoothed(ResponseOf(DirectAndReflection(), grid, 48), 3, 100.0 / kRate);
    int compared = 0;
    for (std::size_t i = 0; i < grid.size(); i += 16) {
        if (grid[i] < 4000.0 || grid[i] > 16000.0) continue;
        ++compared;
        const FrequencyResponse third = ResponseOf(DirectAndReflection(), {grid[i]}, 3);
        EXPECT_NEAR(third.db[0], 3.01, 0.15) << grid[i] << " Hz";
        EXPECT_NEAR(20.0 * std::log10(std::abs(third.values[0])), 0.0, 0.3) << grid[i] << " Hz";
        EXPECT_NEAR(again.db[i], 3.01, 0.15) << grid[i] << " Hz";
        EXPECT_NEAR(std::abs(again.values[i]), std::abs(third.values[0]), 0.05) << grid[i] << " Hz";
    }
    EXPECT_EQ(compared, 6);
    // Unsmoothed beyond 1/48 octave the teeth stand: a dip at 150 Hz.
    EXPECT_LT(ResponseOf(DirectAndReflection(), {150.0}, 48).db[0], -10.0);
}

// Each point weighs as the Hz it stands for: half-way to its neighbours,
// the end points to their one neighbour.
TEST(FrequencyResponse, SmoothingWeighsEachPointByItsWidth)
{
    FrequencyResponse step;
    step.hz = {100.0, 110.0, 120.0};
    step.db = {0.0, 10.0, 0.0};
    step.values = {1.0, std::sqrt(10.0), 1.0};
    step.phaseDeg = {0.0, 0.0, 0.0};
    const FrequencyResponse octave = Smoothed(step, 1);
    const double expected = 10.0 * std::log10((5.0 * 1.0 + 10.0 * 10.0 + 5.0 * 1.0) / 20.0);
    for (double db : octave.db) EXPECT_NEAR(db, expected, 1e-9);
    EXPECT_NEAR(Smoothed(step, 48).db[1], 10.0, 1e-9);  // each point alone in its band

    FrequencyResponse single;
    single.hz = {1000.0};
    single.db = {-3.0};
    single.values = {0.7};
    single.phaseDeg = {0.0};
    EXPECT_NEAR(Smoothed(single, 3).db[0], -3.0, 1e-9);
}

TEST(FrequencyResponse, RefersThePhaseToTheTimeAsked)
{
    ImpulseResponse impulse;
    impulse.samples.assign(480, 0.0f);
    impulse.samples[48] = 1.0f;  // 1 ms after the response's first sample
    impulse.startSeconds = 0.002;
    const FrequencyResponse late = ResponseOf(impulse, {125.0, 400.0}, 48);
    EXPECT_NEAR(late.phaseDeg[0], -135.0, 0.5);  // 3 ms at 125 Hz: 3/8 of a period
    EXPECT_NEAR(late.phaseDeg[1], -72.0, 0.5);   // 1.2 periods, wrapped
    const FrequencyResponse aligned = ResponseOf(impulse, {125.0, 400.0}, 48, 0.003);
    EXPECT_NEAR(aligned.phaseDeg[0], 0.0, 0.5);
    EXPECT_NEAR(aligned.db[1], 0.0, 0.01);
}

TEST(FrequencyResponse, LogPointsEndAtTheHighestWithinTheRangeAndBadArgumentsThrow)
{
    const std::vector<double> hz = LogFrequencies();
    EXPECT_EQ(hz.front(), 10.0);
    EXPECT_EQ(hz.size(), 527u);  // 10 Hz * 2^(526/48) = 19.9 kHz
    EXPECT_EQ(LogFrequencies(10.0, 20.0, 1), (std::vector<double>{10.0, 20.0}));
    EXPECT_THROW(LogFrequencies(0.0, 20.0), std::invalid_argument);
    EXPECT_THROW(ResponseOf(DirectAndReflection(), {24001.0}), std::invalid_argument);
    EXPECT_NO_THROW(ResponseOf(DirectAndReflection(), {24000.0}));
    EXPECT_THROW(ResponseOf(ImpulseResponse{}, {100.0}), std::invalid_argument);
    EXPECT_THROW(Smoothed({}, 0), std::invalid_argument);
}

TEST(Levels, PeakAndClippingAtTheirThresholds)
{
    const float clip = static_cast<float>(std::pow(10.0, kClipDbfs / 20.0));
    const std::vector<float> samples{0.5f, -clip, std::nextafter(clip, 0.0f), -1.0f};
    EXPECT_EQ(CountClipped(samples), 2u);
    EXPECT_NEAR(PeakDbfs(samples), 0.0, 1e-9);
    EXPECT_EQ(PeakDbfs(std::vector<float>(8, 0.0f)), kSilenceDbfs);
}

// The octave a band's silence is sized for is the lowest its SNR judges.
TEST(Levels, TheLowestOctaveOfABandIsTheFirstTheSnrReports)
{
    const std::vector<float> noise(4800, 0.001f);
    for (double lowHz : {30.0, 31.25, 31.3, 100.0}) {
        const std::vector<BandSnr> bands = OctaveSnr(noise, noise, 48000.0, lowHz, 16000.0);
        ASSERT_FALSE(bands.empty());
        EXPECT_EQ(LowestOctaveCentreHz(lowHz), bands.front().centreHz) << lowHz;
    }
    EXPECT_EQ(LowestOctaveCentreHz(31.25), 31.25);
    EXPECT_EQ(LowestOctaveCentreHz(31.3), 62.5);
    EXPECT_THROW(LowestOctaveCentreHz(16001.0), std::invalid_argument);
}

TEST(Fft, ConvolvesAsTheSumDoesAndEnvelopesACosineBurstAtItsAmplitude)
{
    const std::vector<float> a{1.0f, -2.0f, 0.5f}, b{0.25f, 4.0f};
    const std::vector<float> c = Convolve(a, b);
    const std::vector<float> expected{0.25f, 3.5f, -7.875f, 2.0f};
    ASSERT_EQ(c.size(), expected.size());
    for (std::size_t i = 0; i < c.size(); ++i) EXPECT_NEAR(c[i], expected[i], 1e-5);
    EXPECT_TRUE(Convolve(a, {}).empty());
    EXPECT_THROW(RealFft(3), std::invalid_argument);
    EXPECT_EQ(RealFft(2).Forward(std::vector<float>{1.0f, 1.0f})[0], std::complex<float>(2.0f));
    EXPECT_NO_THROW(RealFft(4).Forward(std::vector<float>(4, 1.0f)));
    EXPECT_THROW(RealFft(4).Forward(std::vector<float>(5, 1.0f)), std::invalid_argument);

    std::vector<float> burst(4096);
    for (std::size_t n = 0; n < burst.size(); ++n)
        burst[n] = static_cast<float>(0.5 * std::cos(2.0 * 3.14159265358979 * 1000.0 * n / kRate));
    const std::vector<float> envelope = Envelope(burst);
    for (std::size_t n = 1000; n < 3000; n += 97) EXPECT_NEAR(envelope[n], 0.5, 0.01) << n;
}

// Transforms of one size, made again and again in two threads at once (their
// plans kept between them), each give their own samples' bins.
TEST(Fft, TransformsOfOneSizeInTwoThreadsAtOnceKeepToTheirOwnSamples)
{
    constexpr std::size_t kSize = 8192;
    const auto impulseAt = [](std::size_t at) {
        std::vector<float> samples(kSize);
        samples[at] = 1.0f;
        return samples;
    };
    std::atomic<int> wrong{0};
    const auto transform = [&](std::size_t at) {
        const std::vector<float> samples = impulseAt(at);
        for (int i = 0; i < 50; ++i) {
            const RealFft fft(kSize);
            const std::vector<float> back = fft.Inverse(fft.Forward(samples));
            if (std::abs(back[at] - 1.0f) > 1e-4f || std::abs(back[(at + 1) % kSize]) > 1e-4f) ++wrong;
        }
    };
    std::thread other(transform, 5);
    transform(4000);
    other.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
