#include "RelationWatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace {

// Feeds the values; the slips found, in order.
std::vector<std::int64_t> Slips(RelationWatch& watch, const std::vector<double>& relations)
{
    std::vector<std::int64_t> slips;
    for (double relation : relations)
        if (const std::optional<std::int64_t> slip = watch.Note(relation)) slips.push_back(*slip);
    return slips;
}

std::vector<double> Steady(double relation, int count, double wobble = 1.0)
{
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(relation + (i % 2 ? wobble : -wobble));
    return values;
}

TEST(RelationWatch, AnExactServersStepIsOneSlipOnceASecondWindowAgrees)
{
    RelationWatch watch;
    EXPECT_TRUE(Slips(watch, Steady(-3080, 15)).empty());
    EXPECT_TRUE(watch.Settled());
    // The step within the next window: that window is not clean; the two after it agree.
    EXPECT_TRUE(Slips(watch, {-3080, -3080, -2056}).empty());
    EXPECT_FALSE(watch.Settled());  // from the first look off the relation
    EXPECT_TRUE(Slips(watch, {-2056, -2056}).empty());
    EXPECT_TRUE(Slips(watch, Steady(-2056, 5)).empty());
    EXPECT_FALSE(watch.Settled());
    EXPECT_EQ(Slips(watch, Steady(-2056, 5)), std::vector<std::int64_t>{1024});
    EXPECT_TRUE(Slips(watch, Steady(-2056, 20)).empty());  // the new relation holds
    EXPECT_TRUE(watch.Settled());
    EXPECT_EQ(Slips(watch, Steady(-2312, 10)), std::vector<std::int64_t>{-256});
}

TEST(RelationWatch, NoSlipBelowItsSizeNorFromAServerThatMovesByBlocks)
{
    RelationWatch small;
    EXPECT_TRUE(Slips(small, Steady(-3080, 10)).empty());
    EXPECT_TRUE(Slips(small, Steady(-3080 + RelationWatch::kSlipFrames - 1, 20)).empty());

    // PulseAudio's accounting moves by its blocks: some 5 ms between samples.
    RelationWatch blocky;
    std::vector<double> values;
    for (int i = 0; i < 200; ++i) values.push_back(-3200 + 250 * std::sin(i * 1.7));
    for (int i = 0; i < 50; ++i) values.push_back(-2000 + 250 * std::sin(i * 1.7));
    EXPECT_TRUE(Slips(blocky, values).empty());

    // One window off and back is no slip.
    RelationWatch once;
    EXPECT_TRUE(Slips(once, Steady(-3080, 10)).empty());
    EXPECT_TRUE(Slips(once, Steady(-2056, 5)).empty());
    EXPECT_TRUE(Slips(once, Steady(-3080, 20)).empty());
}

}  // namespace
