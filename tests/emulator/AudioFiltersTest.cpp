// The emulated unit's filters as pure functions: bells and shelves on the
// unit's tables, every crossover type at its frequency, the fractional delay.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "emulator/audio/Biquad.h"
#include "emulator/audio/ChannelSetting.h"
#include "emulator/audio/FilterTypes.h"
#include "emulator/audio/FractionalDelay.h"

namespace {

using namespace rx74emu;

double Db(std::complex<double> h) { return 20.0 * std::log10(std::abs(h)); }

double CascadeDb(const std::vector<Biquad>& sections, double hz) { return Db(FilterCascade(sections).Response(hz)); }

// The frequency between `low` and `high` where the response falls through `db`.
template <typename Response>
double CrossingHz(Response response, double db, double low, double high)
{
    const bool risesThrough = response(low) < db;
    for (int i = 0; i < 100; ++i) {
        const double mid = std::sqrt(low * high);
        ((response(mid) < db) == risesThrough ? low : high) = mid;
    }
    return low;
}

TEST(AudioFiltersTest, ABellOnTheTablesHasItsGainAtTheCentreAndHalfOfItAtTheBandEdges)
{
    for (int step : {2, 18, 33, 41}) {
        const double octaves = BandwidthOctaves(step), centre = StepFrequencyHz(238), gain = 9.0;
        const Biquad bell = Bell(centre, gain, octaves);
        EXPECT_NEAR(Db(bell.Response(centre)), gain, 1e-9);
        auto db = [&](double hz) { return Db(bell.Response(hz)); };
        const double low = CrossingHz(db, gain / 2, centre / 16, centre);
        const double high = CrossingHz(db, gain / 2, centre, centre * 16);
        EXPECT_NEAR(std::log2(high / low), octaves, 0.01 * octaves + 0.002) << "bandwidth step " << step;
        EXPECT_NEAR(Db(bell.Response(centre / 64)), 0.0, 0.05);
    }
    EXPECT_DOUBLE_EQ(BandwidthOctaves(18), 0.228);
    EXPECT_NEAR(BellQ(1.0), 1.4142, 1e-4);
}

TEST(AudioFiltersTest, ShelvesHoldTheirGainOnTheirSideAndHalfOfItAtTheirFrequency)
{
    const Biquad low = LowShelf(200.0, -12.0), high = HighShelf(5000.0, 6.0);
    EXPECT_NEAR(Db(low.Response(10.0)), -12.0, 0.05);
    EXPECT_NEAR(Db(low.Response(200.0)), -6.0, 1e-6);
    EXPECT_NEAR(Db(low.Response(10000.0)), 0.0, 0.05);
    EXPECT_NEAR(Db(high.Response(5000.0)), 3.0, 1e-6);
    EXPECT_NEAR(Db(high.Response(20000.0)), 6.0, 0.15);
    EXPECT_NEAR(Db(high.Response(100.0)), 0.0, 0.01);
}

struct TypeAtCorner {
    int type;
    double cornerDb;  // at the frequency, high- and low-pass alike
    int order;        // 6 dB per octave each
};

TEST(AudioFiltersTest, EveryFilterTypeHasItsCornerValueAtItsFrequencyAndItsSlopeBeyond)
{
    const TypeAtCorner kTypes[] = {
        {1, -3.0103, 1},  {2, -6.0206, 2},  {7, 0.0, 2},      {11, 20 * std::log10(1.4), 2},
        {17, 6.0206, 2},  {18, -3.0103, 2}, {19, -3.0103, 2}, {20, -3.0103, 3},
        {21, -3.0103, 3}, {22, -3.0103, 4}, {23, -3.0103, 4}, {24, -6.0206, 4},
        {25, -3.0103, 8}, {26, -3.0103, 8}, {27, -6.0206, 8},
    };
    const double corner = 1000.0;
    for (const auto& [type, cornerDb, order] : kTypes) {
        const Prototype prototype = FilterTypePrototype(type);
        const auto lowPass = LowPassSections(prototype, corner), highPass = HighPassSections(prototype, corner);
        EXPECT_NEAR(CascadeDb(lowPass, corner), cornerDb, 1e-3) << "low-pass type " << type;
        EXPECT_NEAR(CascadeDb(highPass, corner), cornerDb, 1e-3) << "high-pass type " << type;
        EXPECT_NEAR(CascadeDb(lowPass, 20.0), 0.0, 0.01) << "low-pass type " << type;
        EXPECT_NEAR(CascadeDb(highPass, 20000.0), 0.0, 0.05) << "high-pass type " << type;
        // Far below its corner a high-pass falls by 6 dB per octave and pole.
        const double octaveDb = CascadeDb(highPass, corner / 16) - CascadeDb(highPass, corner / 32);
        EXPECT_NEAR(octaveDb, 6.02 * order, 0.3) << "high-pass type " << type;
    }
    EXPECT_TRUE(FilterTypePrototype(0).pairs.empty() && FilterTypePrototype(0).realPoles.empty());
    EXPECT_TRUE(FilterTypePrototype(28).pairs.empty() && FilterTypePrototype(28).realPoles.empty());
}

TEST(AudioFiltersTest, BesselAndButterworthOfOneOrderDifferInTheirSlopeNotTheirCorner)
{
    // At twice the corner a Butterworth of order 4 is 24.1 dB down, a Bessel less.
    const auto butterworth = LowPassSections(FilterTypePrototype(22), 1000.0);
    const auto bessel = LowPassSections(FilterTypePrototype(23), 1000.0);
    EXPECT_NEAR(CascadeDb(butterworth, 2000.0), -24.1, 0.2);
    EXPECT_GT(CascadeDb(bessel, 2000.0), -16.0);
    EXPECT_LT(CascadeDb(bessel, 2000.0), -10.0);
}

TEST(AudioFiltersTest, TheFractionalDelayIsFlatTo20kHzAndDelaysByExactlyItsSamples)
{
    for (double samples : {0.0, 0.1, 4.8, 17.5, 480.99}) {
        FractionalDelay delay(samples);
        double largestDb = 0.0, largestLag = 0.0;
        for (double hz = 20.0; hz <= 20000.0; hz *= 1.05) {
            const auto h = delay.Response(hz);
            largestDb = std::max(largestDb, std::abs(Db(h)));
            // The phase against that of the exact delay, in samples.
            const double w = 2 * std::numbers::pi * hz / kSampleRate;
            const double exact = -w * (samples + FractionalDelay::kLatency);
            const double lag = std::remainder(std::arg(h) - exact, 2 * std::numbers::pi) / w;
            largestLag = std::max(largestLag, std::abs(lag));
        }
        EXPECT_LT(largestDb, 0.002) << samples << " samples";
        EXPECT_LT(largestLag, 0.0005) << samples << " samples";

        // An impulse's centroid is the delay's.
        double sum = 0.0, moment = 0.0;
        for (int n = 0; n < 1200; ++n) {
            const double y = delay.Process(n == 0 ? 1.0 : 0.0);
            sum += y;
            moment += n * y;
        }
        EXPECT_NEAR(sum, 1.0, 1e-9);
        EXPECT_NEAR(moment / sum, samples + FractionalDelay::kLatency, 1e-4) << samples << " samples";
    }
}

TEST(AudioFiltersTest, ALongerDelaySetWhilePlayingKeepsWhatItHolds)
{
    FractionalDelay delay(2.0);
    for (int n = 0; n < 10; ++n) delay.Process(n == 9 ? 1.0 : 0.0);  // the impulse is the newest sample
    delay.Set(5000.0);                                               // the ring grows
    double at = -1;
    for (int n = 1; n < 6000 && at < 0; ++n)
        if (delay.Process(0.0) > 0.5) at = n;
    EXPECT_EQ(at, 5000 + FractionalDelay::kLatency);
}

}  // namespace
