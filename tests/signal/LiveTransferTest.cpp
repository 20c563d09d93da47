#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "DelayFinder.h"
#include "KnownSystems.h"
#include "LiveTransfer.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kDelaySamples = 240.4;  // 5.008 ms

std::vector<Biquad> System()
{
    return {HighPass(kRate, 60.0, 0.7071), PeakingBell(kRate, 1000.0, 2.0, 6.0), PeakingBell(kRate, 8000.0, 4.0, -5.0)};
}

struct Signals {
    std::vector<float> reference, measured;
};

// The reference through the system, delayed, with the room's noise 40 dB
// below (uncorrelated).
Signals ThroughTheSystem(std::vector<float> reference, double delaySamples, unsigned seed)
{
    std::vector<float> measured = Delayed(Filter(reference, System()), delaySamples);
    const std::vector<float> noise = WhiteNoise(measured.size(), 0.001, seed);
    for (std::size_t i = 0; i < measured.size(); ++i) measured[i] += noise[i];
    return {std::move(reference), std::move(measured)};
}

template <typename Analyser>
void Feed(Analyser& analyser, const Signals& signals, std::size_t from, std::size_t to)
{
    constexpr std::size_t kBlock = 1024;
    for (std::size_t at = from; at < to; at += kBlock) {
        const std::size_t n = std::min(kBlock, to - at);
        analyser.Add(std::span(signals.reference).subspan(at, n), std::span(signals.measured).subspan(at, n));
    }
}

double TrueDb(double hz) { return 20.0 * std::log10(std::abs(ResponseAt(System(), kRate, hz))); }

TEST(LiveTransfer, FindsTheDelayAndTheSystemInNoiseAtEveryResolution)
{
    const Signals signals = ThroughTheSystem(WhiteNoise(16 * 48000, 0.1, 1), kDelaySamples, 2);
    DelayFinder finder(kRate, 1.0);
    Feed(finder, signals, 0, 3 * 48000);
    ASSERT_TRUE(finder.Delay().has_value());
    EXPECT_NEAR(*finder.Delay() * 1000.0, kDelaySamples / 48.0, 0.01);

    LiveTransfer live(kRate, 1.0);
    EXPECT_EQ(live.Lengths().front(), 512u);
    EXPECT_EQ(live.Lengths().back(), 131072u);
    live.SetDelay(*finder.Delay());
    Feed(live, signals, 0, signals.reference.size());
    const LiveTrace trace = live.Trace();
    ASSERT_FALSE(trace.hz.empty());
    EXPECT_NEAR(trace.hz.front(), 20.0, 1e-9);
    EXPECT_GT(trace.hz.back(), 19000.0);
    int compared = 0;
    for (std::size_t i = 0; i < trace.hz.size(); ++i) {
        const double hz = trace.hz[i];
        if (hz < 40.0 || hz > 16000.0) continue;
        ++compared;
        EXPECT_NEAR(trace.db[i], TrueDb(hz), 0.5) << hz << " Hz";
        EXPECT_GT(trace.coherence[i], 0.95) << hz << " Hz";
        // With the delay found taken out, what phase is left is the filters'
        // own and what the delay found is off by.
        const double off = kDelaySamples / kRate - *finder.Delay();
        const double phase = (std::arg(ResponseAt(System(), kRate, hz)) - 2.0 * std::numbers::pi * hz * off) * 180.0 /
                             std::numbers::pi;
        EXPECT_NEAR(std::remainder(trace.phaseDeg[i] - phase, 360.0), 0.0, 2.0) << hz << " Hz";
    }
    EXPECT_GT(compared, 200);
    EXPECT_GT(CoherentShare(trace), 0.95);
}

// A pause in the programme leaves only the room's noise at the microphone:
// those frames are passed over, not averaged in as a collapse.
TEST(LiveTransfer, APauseInTheProgrammeHoldsTheTrace)
{
    std::vector<float> reference = WhiteNoise(9 * 48000, 0.1, 3);
    std::fill(reference.begin() + 6 * 48000, reference.end(), 0.0f);
    const Signals signals = ThroughTheSystem(reference, 0.0, 4);
    LiveTransfer live(kRate, 0.5);
    Feed(live, signals, 0, 6 * 48000);
    const LiveTrace before = live.Trace();
    Feed(live, signals, 6 * 48000, signals.reference.size());
    const LiveTrace after = live.Trace();
    for (std::size_t i = 0; i < after.hz.size(); i += 12) {
        if (after.hz[i] < 100.0) continue;
        EXPECT_NEAR(after.db[i], before.db[i], 0.2) << after.hz[i] << " Hz";
        EXPECT_GT(after.coherence[i], 0.95) << after.hz[i] << " Hz";
    }
}

// Two loudspeakers a little apart (the second 0.58 ms later, 0.6 dB lower):
// their sum is a comb, its peaks 1.7 kHz apart, at the top a fifth of an
// octave. Over 1/12 octave (three points) the live curve keeps the comb's
// power; points that each saw nearer 1/12 octave than their own 1/24, and
// averaged the comb's turning phase within it, missed its peaks by half a dB.
TEST(LiveTransfer, ResolvesTheCombOfTwoArrivals)
{
    constexpr double kLater = 28.0, kSecond = 0.9375;
    const std::vector<float> reference = WhiteNoise(12 * 48000, 0.1, 21);
    std::vector<float> measured = Delayed(reference, kLater);
    measured.resize(reference.size());  // the delayed copy runs on past the reference's end
    for (std::size_t i = 0; i < measured.size(); ++i) measured[i] = reference[i] + kSecond * measured[i];
    LiveTransfer live(kRate, 1.0);
    Feed(live, {reference, measured}, 0, reference.size());
    const LiveTrace trace = live.Trace();
    const auto combPower = [&](double hz) {
        return std::norm(1.0 + kSecond * std::polar(1.0, -2.0 * std::numbers::pi * hz * kLater / kRate));
    };
    double largest = 0.0, largestAtPeaks = 0.0;
    for (std::size_t i = 1; i + 1 < trace.hz.size(); ++i) {
        if (trace.hz[i] < 40.0 || trace.hz[i] > 16000.0) continue;
        double livePower = 0.0, truePower = 0.0;
        for (std::size_t k = i - 1; k <= i + 1; ++k) livePower += std::pow(10.0, trace.db[k] / 10.0) / 3.0;
        for (int k = -24; k <= 24; ++k) truePower += combPower(trace.hz[i] * std::exp2(k / (16.0 * 24.0))) / 49.0;
        if (truePower < 0.25) continue;  // a notch's depth is for no resolution to keep
        const double off = std::abs(10.0 * std::log10(livePower / truePower));
        largest = std::max(largest, off);
        if (truePower > 2.0) largestAtPeaks = std::max(largestAtPeaks, off);
    }
    EXPECT_LT(largest, 1.0);  // on the slopes into the notches
    EXPECT_LT(largestAtPeaks, 0.3);
}

// A note on the slope into the comb's notch, some 5 dB over the programme's
// other bins there, does not pull its point its way: the point stays the
// band's own level, not the note's.
TEST(LiveTransfer, ANoteOnASlopeDoesNotPullItsPointItsWay)
{
    constexpr double kLater = 28.0, kSecond = 0.9375;  // the notch at 857 Hz
    const auto combPower = [&](double hz) {
        return std::norm(1.0 + kSecond * std::polar(1.0, -2.0 * std::numbers::pi * hz * kLater / kRate));
    };
    LiveTransfer live(kRate, 1.0);
    const LiveTrace before = live.Trace();
    std::size_t at = 0;
    for (std::size_t i = 0; i < before.hz.size(); ++i)
        if (std::abs(before.hz[i] - 780.0) < std::abs(before.hz[at] - 780.0)) at = i;
    const double band = std::exp2(0.5 / 24.0), noteHz = before.hz[at] * std::exp2(0.4 / 24.0);
    std::vector<float> reference = WhiteNoise(8 * 48000, 0.1, 29);
    for (std::size_t n = 0; n < reference.size(); ++n)
        reference[n] += static_cast<float>(0.005 * std::sin(2.0 * std::numbers::pi * noteHz * n / kRate));
    std::vector<float> measured = Delayed(reference, kLater);
    measured.resize(reference.size());
    for (std::size_t i = 0; i < measured.size(); ++i) measured[i] = reference[i] + kSecond * measured[i];
    Feed(live, {reference, measured}, 0, reference.size());
    double truePower = 0.0;
    for (int k = -24; k <= 24; ++k) truePower += combPower(before.hz[at] * std::pow(band, k / 24.0)) / 49.0;
    const double trueDb = 10.0 * std::log10(truePower), noteDb = 10.0 * std::log10(combPower(noteHz));
    ASSERT_GT(trueDb - noteDb, 1.0);  // the note's own level is well off the band's
    EXPECT_NEAR(live.Trace().db[at], trueDb, 0.25);
}

// The programme falls by 14 dB just as the system changes: the new frames
// count as much as the louder ones before them, so the change is 63 % of
// the way after one time constant, not held back by the earlier level.
TEST(LiveTransfer, AChangeIsTwoThirdsThereAfterOneTimeConstantWhateverTheLevel)
{
    const std::size_t change = 4 * 48000;
    std::vector<float> reference = WhiteNoise(6 * 48000, 0.1, 23);
    std::vector<float> measured = reference;
    for (std::size_t i = change; i < reference.size(); ++i) {
        reference[i] *= 0.2f;
        measured[i] = 2.0f * reference[i];
    }
    LiveTransfer live(kRate, 1.0);
    Feed(live, {reference, measured}, 0, change + 48000);
    const LiveTrace trace = live.Trace();
    const double expected = 1.0 + (1.0 - std::exp(-1.0));
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < trace.hz.size(); ++i) {
        if (trace.hz[i] < 300.0 || trace.hz[i] > 16000.0) continue;  // the longest frames hold 4 hops at least
        const double gain = std::pow(10.0, trace.db[i] / 20.0);
        EXPECT_NEAR(gain, expected, 0.3) << trace.hz[i] << " Hz";  // one point: a few bins, a few frames
        sum += gain;
        ++count;
    }
    // Not a frame's length later either (a frame's sound is half a frame old when it is taken).
    EXPECT_NEAR(sum / count, expected, 0.02);
}

// A long average's first seconds count alike: its first frame does not
// stand for most of it until the time constant has passed.
TEST(LiveTransfer, ALongAverageCountsItsFirstSecondsAlike)
{
    std::vector<float> reference = WhiteNoise(5 * 48000, 0.1, 24);
    std::vector<float> measured = reference;
    for (std::size_t i = 0; i < 48000; ++i) measured[i] *= 2.0f;
    LiveTransfer live(kRate, 10.0);
    Feed(live, {reference, measured}, 0, reference.size());
    const LiveTrace trace = live.Trace();
    for (std::size_t i = 0; i < trace.hz.size(); i += 12) {
        if (trace.hz[i] < 1000.0) continue;  // the long frames have too few of them for the mean to show
        EXPECT_NEAR(std::pow(10.0, trace.db[i] / 20.0), 1.2, 0.1) << trace.hz[i] << " Hz";  // 1 s of 2, 4 s of 1
    }
}

// A watch begun in a pause of the programme averages the noise of the
// pause (nothing louder to tell it by); once the programme plays, that is
// forgotten, not carried as a low coherence for seconds.
TEST(LiveTransfer, AnAverageBegunInAPauseStartsAgainWithTheProgramme)
{
    const std::size_t start = 2 * 48000;
    std::vector<float> reference = WhiteNoise(4 * 48000, 0.1, 25);
    const std::vector<float> dither = WhiteNoise(start, 0.00003, 26);
    std::copy(dither.begin(), dither.end(), reference.begin());
    Signals signals = ThroughTheSystem(reference, 0.0, 27);
    LiveTransfer live(kRate, 1.0);
    Feed(live, signals, 0, reference.size());
    const LiveTrace trace = live.Trace();
    for (std::size_t i = 0; i < trace.hz.size(); i += 12) {
        if (trace.hz[i] < 500.0) continue;  // the long frames have not seen enough of the programme yet
        EXPECT_GT(trace.coherence[i], 0.95) << trace.hz[i] << " Hz";
        EXPECT_NEAR(trace.db[i], TrueDb(trace.hz[i]), 0.5) << trace.hz[i] << " Hz";
    }
}

TEST(LiveTransfer, WhatTheMicrophoneHearsOfSomethingElseIsNotTrusted)
{
    const std::vector<float> reference = WhiteNoise(4 * 48000, 0.1, 5);
    const Signals unrelated{reference, WhiteNoise(reference.size(), 0.1, 6)};
    LiveTransfer live(kRate, 1.0);
    Feed(live, unrelated, 0, reference.size());
    EXPECT_LT(CoherentShare(live.Trace()), 0.02);
    DelayFinder finder(kRate, 1.0);
    Feed(finder, unrelated, 0, reference.size());
    EXPECT_FALSE(finder.Delay().has_value());

    LiveTransfer silent(kRate, 1.0);
    const std::vector<float> nothing(48000, 0.0f);
    silent.Add(nothing, nothing);
    EXPECT_EQ(CoherentShare(silent.Trace()), 0.0);
    EXPECT_EQ(silent.Trace().referenceDb.front(), -200.0);  // no reference: none, not minus infinity
    LiveTransfer deaf(kRate, 1.0);  // the microphone's cable out: nothing to trust, no level
    const std::vector<float> quiet(reference.size(), 0.0f);
    deaf.Add(reference, quiet);
    EXPECT_EQ(CoherentShare(deaf.Trace()), 0.0);
    EXPECT_EQ(deaf.Trace().db[120], -200.0);
    EXPECT_THROW(DelayFinder(0.0, 1.0), std::invalid_argument);
    EXPECT_THROW(LiveTransfer(kRate, 0.0), std::invalid_argument);
    EXPECT_THROW(silent.Add(nothing, std::span(nothing).first(10)), std::invalid_argument);
}

// A microphone nearer than the reference's tap (the reference taken after a
// delay of its own): the delay is negative, and the measured is held back.
TEST(LiveTransfer, AMeasuredSignalAheadOfTheReferenceGivesANegativeDelay)
{
    const std::vector<float> source = WhiteNoise(6 * 48000, 0.1, 7);
    Signals signals = ThroughTheSystem(source, 0.0, 8);
    signals.reference = Delayed(source, 4800.0);  // 100 ms
    DelayFinder finder(kRate, 1.0);
    Feed(finder, signals, 0, signals.reference.size());
    ASSERT_TRUE(finder.Delay().has_value());
    EXPECT_NEAR(*finder.Delay() * 1000.0, -100.0, 0.01);
    LiveTransfer live(kRate, 1.0);
    live.SetDelay(*finder.Delay());
    Feed(live, signals, 0, signals.reference.size());
    const LiveTrace trace = live.Trace();
    for (std::size_t i = 0; i < trace.hz.size(); i += 24) {
        if (trace.hz[i] < 100.0 || trace.hz[i] > 16000.0) continue;
        EXPECT_NEAR(trace.db[i], TrueDb(trace.hz[i]), 0.5) << trace.hz[i] << " Hz";
    }
}

TEST(DelayTracker, TakesTheFirstDelayThenOnlyAChangeThatHolds)
{
    DelayTracker tracker;
    EXPECT_FALSE(tracker.Look(std::nullopt, 0.0));
    EXPECT_TRUE(tracker.Look(0.0050, 0.5));
    EXPECT_FALSE(tracker.Look(0.00509, 1.0));  // within 0.1 ms: the same
    EXPECT_FALSE(tracker.Look(0.0060, 2.0));   // a change begins
    EXPECT_FALSE(tracker.Look(0.0050, 2.5));   // a glimpse: back
    EXPECT_FALSE(tracker.Look(0.0060, 3.0));
    EXPECT_FALSE(tracker.Look(0.00605, 4.9));
    EXPECT_EQ(*tracker.Current(), 0.0050);
    EXPECT_TRUE(tracker.Look(0.0060, 5.0));  // held for 2 s
    EXPECT_EQ(*tracker.Current(), 0.0060);
}

}  // namespace
