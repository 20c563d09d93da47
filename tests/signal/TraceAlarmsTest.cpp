#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "FrequencyResponse.h"
#include "TraceAlarms.h"

namespace {

// A live trace 10 dB above the stored one (the two are on different
// scales), coherent everywhere, the reference flat.
struct Traces {
    LiveTrace live;
    std::vector<double> stored;
};

Traces Flat()
{
    Traces t;
    t.live.hz = LogFrequencies(20.0, 20000.0, 24);
    for (double hz : t.live.hz) {
        t.stored.push_back(-30.0 + (hz < 100.0 ? 6.0 : 0.0));
        t.live.db.push_back(t.stored.back() + 10.0);
        t.live.phaseDeg.push_back(0.0);
        t.live.coherence.push_back(0.99);
        t.live.known.push_back(true);
        t.live.referenceDb.push_back(-20.0);
    }
    return t;
}

const BandComparison& BandAt(const std::vector<BandComparison>& bands, double hz)
{
    for (const auto& b : bands)
        if (std::abs(b.hz / hz - 1.0) < 0.01) return b;
    throw std::out_of_range("no band there");
}

void ChangeBand(Traces& t, double centre, double db, double coherence)
{
    for (std::size_t i = 0; i < t.live.hz.size(); ++i)
        if (t.live.hz[i] >= centre / std::exp2(1.0 / 6.0) && t.live.hz[i] < centre * std::exp2(1.0 / 6.0)) {
            t.live.db[i] += db;
            t.live.coherence[i] = coherence;
        }
}

TEST(TraceComparison, BandsDepartFromHowTheTwoTracesCompareOverall)
{
    Traces t = Flat();
    ChangeBand(t, 1000.0, 6.0, 0.99);
    const auto bands = CompareThirds(t.live, t.stored);
    EXPECT_NEAR(bands.front().hz, 25.0, 0.5);
    EXPECT_NEAR(bands.back().hz, 16000.0, 50.0);
    EXPECT_NEAR(BandAt(bands, 1000.0).deviationDb, 6.0, 1e-9);
    EXPECT_NEAR(BandAt(bands, 500.0).deviationDb, 0.0, 1e-9);
    EXPECT_NEAR(LevelOffset(t.live, t.stored), 10.0, 1e-9);  // the band that departed counts not
    EXPECT_NEAR(BandAt(bands, 50.0).storedDb, 0.0, 1e-9);  // the loudest
    EXPECT_NEAR(BandAt(bands, 500.0).storedDb, -6.0, 1e-9);
    EXPECT_NEAR(BandAt(bands, 500.0).referenceDb, 0.0, 1e-9);
    EXPECT_THROW(CompareThirds(t.live, std::span(t.stored).first(3)), std::invalid_argument);
    // Until the coherence of one of its points is known, a band is not compared.
    t.live.known[8] = false;  // 25.9 Hz, in the band of 25 Hz
    EXPECT_NEAR(CompareThirds(t.live, t.stored).front().hz, 31.5, 0.5);
    // Nor where the stored trace has no level (a kept trace begins at its first coherent point).
    t.live.known[8] = true;
    for (std::size_t i = 0; i < 16; ++i) t.stored[i] = std::nan("");  // up to 31.5 Hz
    const auto begun = CompareThirds(t.live, t.stored);
    EXPECT_NEAR(begun.front().hz, 31.5, 0.5);
    EXPECT_NEAR(begun.front().deviationDb, 0.0, 1e-9);
    EXPECT_NEAR(BandAt(begun, 1000.0).deviationDb, 6.0, 1e-9);
}

TEST(TraceAlarms, ABandThatDepartsCoherentlyAlarmsOnceItHolds)
{
    Traces t = Flat();
    ChangeBand(t, 1000.0, 3.0, 0.99);   // not more than 3 dB: no alarm
    ChangeBand(t, 2000.0, -3.5, 0.5);   // off, but not coherent: no alarm
    ChangeBand(t, 4000.0, -3.5, 0.99);
    TraceAlarms alarms;
    EXPECT_TRUE(alarms.Look(CompareThirds(t.live, t.stored), 10.0).empty());
    EXPECT_TRUE(alarms.Look(CompareThirds(t.live, t.stored), 10.9).empty());
    const auto standing = alarms.Look(CompareThirds(t.live, t.stored), 11.0);
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_EQ(standing[0].kind, TraceAlarm::Kind::Departed);
    EXPECT_NEAR(standing[0].hz, 4000.0, 40.0);
    EXPECT_NEAR(standing[0].deviationDb, -3.5, 1e-9);
    EXPECT_EQ(standing[0].sinceSeconds, 10.0);
    // Put right, it is gone; off again, it waits its second again.
    EXPECT_TRUE(alarms.Look(CompareThirds(Flat().live, t.stored), 12.0).empty());
    EXPECT_TRUE(alarms.Look(CompareThirds(t.live, t.stored), 12.5).empty());
}

// Looks a beat apart: a band that rose from 2 to 4 dB between two looks
// crossed 3 dB between them, and holds its second from there; one that was
// not coherent at the look before holds it from the look that sees it.
TEST(TraceAlarms, TheHoldCountsFromTheCrossingBetweenTwoLooks)
{
    Traces rising = Flat(), risen = Flat();
    ChangeBand(rising, 1000.0, 2.0, 0.99);
    ChangeBand(risen, 1000.0, 4.0, 0.99);
    ChangeBand(rising, 4000.0, 4.0, 0.5);
    ChangeBand(risen, 4000.0, 4.0, 0.99);
    TraceAlarms alarms;
    EXPECT_TRUE(alarms.Look(CompareThirds(rising.live, rising.stored), 10.0).empty());
    EXPECT_TRUE(alarms.Look(CompareThirds(risen.live, risen.stored), 10.2).empty());
    EXPECT_TRUE(alarms.Look(CompareThirds(risen.live, risen.stored), 11.05).empty());
    const auto standing = alarms.Look(CompareThirds(risen.live, risen.stored), 11.15);
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_NEAR(standing[0].hz, 1000.0, 10.0);
    EXPECT_NEAR(standing[0].sinceSeconds, 10.1, 1e-9);
    const auto both = alarms.Look(CompareThirds(risen.live, risen.stored), 11.2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].sinceSeconds, 10.2);
}

TEST(TraceAlarms, ALostLoudspeakerShowsAsNoiseWhereTheStoredTraceIsStrong)
{
    Traces lost = Flat();
    ChangeBand(lost, 50.0, -14.0, 0.2);     // the Sub's band, strong in the stored trace
    ChangeBand(lost, 12700.0, -14.0, 0.2);  // as strong, but the reference left it
    for (std::size_t i = 0; i < lost.live.hz.size(); ++i)
        if (lost.live.hz[i] > 11000.0) lost.live.referenceDb[i] = -70.0;
    TraceAlarms alarms;
    alarms.Look(CompareThirds(lost.live, lost.stored), 0.0);
    const auto standing = alarms.Look(CompareThirds(lost.live, lost.stored), 1.0);
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_EQ(standing[0].kind, TraceAlarm::Kind::Collapsed);
    EXPECT_NEAR(standing[0].hz, 50.0, 1.0);

    Traces quieter = Flat();  // fallen only 9 dB: the band is quieter, not lost
    ChangeBand(quieter, 50.0, -9.0, 0.2);
    alarms.Look(CompareThirds(quieter.live, quieter.stored), 2.0);
    EXPECT_TRUE(alarms.Look(CompareThirds(quieter.live, quieter.stored), 3.0).empty());
}

}  // namespace
