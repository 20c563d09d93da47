#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "SpatialAverage.h"

namespace {

FrequencyResponse Levels(std::vector<double> db)
{
    FrequencyResponse response;
    for (std::size_t i = 0; i < db.size(); ++i) response.hz.push_back(100.0 * (i + 1));
    response.db = std::move(db);
    return response;
}

TEST(SpatialAverage, OnePositionIsItselfWithoutSpread)
{
    const FrequencyResponse one = Levels({-3.0, 0.0, -120.0});
    const SpatialAverage average = AverageOverPositions({&one});
    EXPECT_EQ(average.hz, one.hz);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(average.db[i], one.db[i], 1e-9);
        EXPECT_EQ(average.spreadDb[i], 0.0);
    }
}

// The mean is of powers, not of dB: a deep dip at one seat costs the
// average at most 10 log10(N / (N - 1)), and the spread is loudest less quietest.
TEST(SpatialAverage, AveragesPowersAndSpreadsFromLoudestToQuietest)
{
    const FrequencyResponse a = Levels({0.0, 10.0, 6.0}), b = Levels({10.0, -60.0, 6.0}),
                            c = Levels({0.0, 10.0, 6.0}), d = Levels({0.0, 10.0, -6.0});
    const SpatialAverage average = AverageOverPositions({&a, &b, &c, &d});
    EXPECT_NEAR(average.db[0], 10 * std::log10((1 + 10 + 1 + 1) / 4.0), 1e-9);
    EXPECT_NEAR(average.db[1], 10 * std::log10((3 * 10 + 1e-6) / 4.0), 1e-9);
    EXPECT_NEAR(average.db[2], 10 * std::log10((3 * std::pow(10, 0.6) + std::pow(10, -0.6)) / 4), 1e-9);
    EXPECT_NEAR(average.spreadDb[0], 10.0, 1e-12);
    EXPECT_NEAR(average.spreadDb[1], 70.0, 1e-12);
    EXPECT_NEAR(average.spreadDb[2], 12.0, 1e-12);
}

TEST(SpatialAverage, RefusesNothingAndResponsesOnOtherPoints)
{
    EXPECT_THROW(AverageOverPositions({}), std::invalid_argument);
    const FrequencyResponse a = Levels({0.0, 1.0}), longer = Levels({0.0, 1.0, 2.0});
    FrequencyResponse moved = a;
    moved.hz[1] = 250.0;
    EXPECT_THROW(AverageOverPositions({&a, &longer}), std::invalid_argument);
    EXPECT_THROW(AverageOverPositions({&a, &moved}), std::invalid_argument);
    FrequencyResponse short_ = a;
    short_.db.pop_back();
    EXPECT_THROW(AverageOverPositions({&a, &short_}), std::invalid_argument);
}

}  // namespace
