#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "KnownSystems.h"
#include "LiveAnalysis.h"

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kBlock = 4800;  // a look every 0.1 s

std::vector<Biquad> Tops() { return {HighPass(kRate, 80.0, 0.7071)}; }

// The reference through the system, which changes at `at` samples, 3 ms late.
std::vector<float> Measured(const std::vector<float>& reference, const std::vector<Biquad>& after, std::size_t at)
{
    std::vector<float> before = Filter(reference, Tops());
    const std::vector<float> changed = Filter(reference, after);
    std::copy(changed.begin() + static_cast<std::ptrdiff_t>(at), changed.end(), before.begin() + static_cast<std::ptrdiff_t>(at));
    return Delayed(before, 144.0);
}

// A band moved on the unit shows as an alarm at its band within 2.5 s with
// the default averaging; the unchanged system raises none.
TEST(LiveAnalysis, AChangeOfTheSystemAlarmsAtItsBandWithinTwoAndAHalfSeconds)
{
    const std::size_t change = 10 * 48000;
    const std::vector<float> reference = WhiteNoise(14 * 48000, 0.1, 11);
    std::vector<Biquad> moved = Tops();
    moved.push_back(PeakingBell(kRate, 1000.0, 4.0, 6.0));
    const std::vector<float> measured = Measured(reference, moved, change);

    LiveAnalysis live(kRate, 1.0);
    std::optional<double> alarmedAt;
    double alarmHz = 0.0;
    for (std::size_t at = 0; at + kBlock <= reference.size(); at += kBlock) {
        live.Add(std::span(reference).subspan(at, kBlock), std::span(measured).subspan(at, kBlock));
        if (at + kBlock == 8 * 48000) {
            ASSERT_TRUE(live.Delay().has_value());
            EXPECT_NEAR(*live.Delay() * 1000.0, 3.0, 0.02);
            live.SetStored(live.Trace().db);  // kept as the trace to watch against
        }
        const auto alarms = live.Alarms(live.Trace());
        if (alarms.empty() || alarmedAt) continue;
        alarmedAt = live.Seconds();
        alarmHz = alarms.front().hz;
        EXPECT_EQ(alarms.size(), 1u);
        EXPECT_GT(alarms.front().deviationDb, 3.0);
    }
    ASSERT_TRUE(alarmedAt.has_value());
    EXPECT_GT(*alarmedAt, 10.0);
    EXPECT_LE(*alarmedAt - 10.0, 2.5);
    EXPECT_NEAR(alarmHz, 1000.0, 1.0);
    EXPECT_EQ(live.DelayChanges().size(), 1u);  // found once, never moved
}

// A delay that moves (a loudspeaker's delay changed on the unit) is
// followed once it has held, and the averages start again on it.
TEST(LiveAnalysis, FollowsADelayThatMovesAndHolds)
{
    const std::vector<float> reference = WhiteNoise(14 * 48000, 0.1, 12);
    std::vector<float> measured = Filter(reference, Tops());
    const std::vector<float> later = Delayed(measured, 96.0);  // 2 ms more from 6 s on
    measured = Delayed(measured, 48.0);
    std::copy(later.begin() + 6 * 48000, later.end(), measured.begin() + 6 * 48000);

    LiveAnalysis live(kRate, 1.0);
    for (std::size_t at = 0; at + kBlock <= reference.size(); at += kBlock)
        live.Add(std::span(reference).subspan(at, kBlock), std::span(measured).subspan(at, kBlock));
    ASSERT_EQ(live.DelayChanges().size(), 2u);
    EXPECT_GE(live.DelayChanges()[1], 6.0 + kDelayHoldSeconds);
    EXPECT_NEAR(*live.Delay() * 1000.0, 2.0, 0.02);
    // Averaged again since: the short lengths have long caught up.
    const LiveTrace trace = live.Trace();
    for (std::size_t i = 0; i < trace.hz.size(); ++i) {
        if (trace.hz[i] < 200.0) continue;
        EXPECT_GT(trace.coherence[i], 0.95) << trace.hz[i] << " Hz";
    }
}

}  // namespace
