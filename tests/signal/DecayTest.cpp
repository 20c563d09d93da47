#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <span>
#include <stdexcept>
#include <vector>

#include "Decay.h"
#include "KnownSystems.h"

namespace {

constexpr double kRate = 48000.0;

// White noise decaying by 60 dB in rt60 from startDb (its RMS in dBFS) over
// a floor of white noise of noiseDb: its tail is as loud as the floor after
// rt60 * (startDb - noiseDb) / 60.
std::vector<float> DecayOverNoise(double rt60, double startDb, double noiseDb, double seconds, unsigned seed)
{
    const auto count = static_cast<std::size_t>(seconds * kRate);
    std::vector<float> recording = WhiteNoise(count, std::pow(10.0, noiseDb / 20.0), seed);
    const std::vector<float> tail = WhiteNoise(count, std::pow(10.0, startDb / 20.0), seed + 1);
    for (std::size_t i = 0; i < count; ++i)
        recording[i] += static_cast<float>(tail[i] * std::pow(10.0, -3.0 * (i / kRate) / rt60));
    return recording;
}

TEST(Decay, FindsWhereTheTailMeetsTheNoiseAndHowFastItDecays)
{
    struct Case {
        double rt60, aboveDb;
    };
    for (const Case c : {Case{0.3, 50.0}, Case{1.0, 30.0}, Case{2.0, 40.0}}) {
        const double truth = c.rt60 * c.aboveDb / 60.0;
        const auto recording = DecayOverNoise(c.rt60, -70.0 + c.aboveDb, -70.0, truth + 1.0, 3);
        const Decay decay = DecayIntoNoise(recording, std::pow(10.0, -70.0 / 20.0), kRate, 0.0, 5.0);
        EXPECT_NEAR(decay.seconds, truth, 0.1 * truth) << c.rt60;
        EXPECT_NEAR(decay.rt60Seconds, c.rt60, 0.1 * c.rt60) << c.rt60;
    }

    // 24 dB over the floor leave 9 dB from -5 dB to 10 dB above it: too few for a slope.
    const auto shallow = DecayOverNoise(2.0, -46.0, -70.0, 2.0, 4);
    const Decay shallowDecay = DecayIntoNoise(shallow, std::pow(10.0, -70.0 / 20.0), kRate, 0.0, 5.0);
    EXPECT_NEAR(shallowDecay.seconds, 0.8, 0.08);
    EXPECT_EQ(shallowDecay.rt60Seconds, 0.0);

    // A pause in the sound shorter than the hold is no decay.
    auto paused = DecayOverNoise(1.0, -30.0, -70.0, 2.0, 5);
    const auto pause = static_cast<std::size_t>(0.2 * kRate);
    for (std::size_t i = pause; i < pause + static_cast<std::size_t>(0.09 * kRate); ++i) paused[i] *= 1e-3f;
    EXPECT_GT(DecayIntoNoise(paused, std::pow(10.0, -70.0 / 20.0), kRate, 0.0, 5.0).seconds, 0.6);
}

// After a sweep its top octaves ring on over a room's noise that is mostly
// low: the whole band's noise hides the ringing long before it has died
// into the noise of its own octaves.
TEST(Decay, AboveABandsEdgeTheRingingIsFollowedIntoTheNoiseOfItsOwnOctaves)
{
    const auto count = static_cast<std::size_t>(2.0 * kRate);
    std::vector<float> floor = WhiteNoise(count, std::pow(10.0, -90.0 / 20.0), 11);
    for (std::size_t i = 0; i < count; ++i)  // a hum at -53 dBFS RMS
        floor[i] +=
            static_cast<float>(std::pow(10.0, -50.0 / 20.0) * std::sin(2.0 * std::numbers::pi * 60.0 * i / kRate));
    std::vector<float> recording = floor;
    for (std::size_t i = 0; i < count; ++i)  // 12 kHz from -43 dBFS RMS, 60 dB a second
        recording[(i + count / 2) % count] +=
            static_cast<float>(std::pow(10.0, (-40.0 - 60.0 * (i / kRate)) / 20.0) *
                               std::sin(2.0 * std::numbers::pi * 12000.0 * i / kRate));
    const std::span<const float> after(recording.data() + count / 2, count / 2);
    const std::span<const float> silence(floor.data(), count / 2);
    // Into the hum: 10 dB of ringing over it, gone in 0.17 s.
    EXPECT_LT(DecayIntoNoise(after, std::sqrt(0.5) * std::pow(10.0, -50.0 / 20.0), kRate, 0.0, 1.0).seconds, 0.25);
    // Above 5 kHz: 48 dB over that octave's noise, 0.8 s.
    const double noise = RmsAbove(silence, kRate, 5000.0);
    EXPECT_NEAR(DecayIntoNoiseAbove(after, noise, kRate, 5000.0, 0.0, 1.0).seconds, 0.8, 0.08);
}

TEST(Decay, StaysWithinTheCallersLimits)
{
    const double noise = std::pow(10.0, -70.0 / 20.0);
    const auto silence = WhiteNoise(static_cast<std::size_t>(kRate), noise, 7);
    const Decay none = DecayIntoNoise(silence, noise, kRate, 0.25, 3.0);
    EXPECT_EQ(none.seconds, 0.25) << "noise alone: the least";
    EXPECT_EQ(none.rt60Seconds, 0.0) << "no decay to take a slope of";

    // Meets the noise after 2 s.
    const auto slow = DecayOverNoise(2.0, -10.0, -70.0, 3.0, 9);
    EXPECT_EQ(DecayIntoNoise(slow, noise, kRate, 0.0, 1.5).seconds, 1.5);
    EXPECT_EQ(DecayIntoNoise({slow.data(), static_cast<std::size_t>(1.9 * kRate)}, noise, kRate, 0.0, 4.0).seconds, 4.0)
        << "ends before it is in the noise";
    EXPECT_EQ(DecayIntoNoise({silence.data(), 4800}, noise, kRate, 0.0, 4.0).seconds, 0.0) << "just the hold";
    EXPECT_EQ(DecayIntoNoise({silence.data(), 4799}, noise, kRate, 0.0, 4.0).seconds, 4.0) << "less than the hold";
    EXPECT_EQ(DecayIntoNoise(silence, 0.0, kRate, 0.0, 4.0).seconds, 4.0) << "noise over a floor of silence";

    EXPECT_THROW(DecayIntoNoise(silence, noise, 0.0, 0.0, 1.0), std::invalid_argument);
    EXPECT_THROW(DecayIntoNoise(silence, -1.0, kRate, 0.0, 1.0), std::invalid_argument);
    EXPECT_THROW(DecayIntoNoise(silence, noise, kRate, -0.1, 1.0), std::invalid_argument);
    EXPECT_THROW(DecayIntoNoise(silence, noise, kRate, 1.0, 0.5), std::invalid_argument);
}

}  // namespace
