#include <gtest/gtest.h>

#include "history/AbCompare.h"
#include "history/SettingChanges.h"

namespace {

ParameterModel Setting(int gain, int delay)
{
    ParameterModel model{};
    LoadDefaults(model);
    model.gain[kSlotSub] = gain;
    model.delay[kSlotLeftRight] = delay;
    return model;
}

TEST(AbCompareTest, ASwitchTakesTheKeptSettingAndTheActiveSideTellsDrift)
{
    AbCompare ab;
    EXPECT_FALSE(ab.SwitchTo(AbSide::B, Setting(100, 0)));
    EXPECT_FALSE(ab.Active());
    EXPECT_FALSE(ab.Drifted(Setting(100, 0)));

    ab.Keep(AbSide::A, Setting(100, 5));
    EXPECT_TRUE(ab.Kept(AbSide::A));
    EXPECT_FALSE(ab.Kept(AbSide::B));
    EXPECT_EQ(ab.Active(), AbSide::A);
    ParameterModel current = Setting(90, 5);
    EXPECT_TRUE(ab.Drifted(current));
    ab.Keep(AbSide::B, current);
    EXPECT_EQ(ab.Active(), AbSide::B);
    EXPECT_FALSE(ab.Drifted(current));

    // Only the setting is taken: the cursor and the memories stay the current ones.
    current.curChannel = kSlotSub;
    current.memUsed[3] = 0;
    const std::optional<ParameterModel> target = ab.SwitchTo(AbSide::A, current);
    ASSERT_TRUE(target);
    EXPECT_EQ(ab.Active(), AbSide::A);
    EXPECT_TRUE(SameSetting(*target, Setting(100, 5)));
    EXPECT_EQ(target->curChannel, kSlotSub);
    EXPECT_EQ(target->memUsed[3], 0);
    const auto messages = MessagesBetween(current, *target);
    ASSERT_EQ(messages.size(), 1u);  // only the Sub's level differs
    EXPECT_EQ(messages[0][1], 100);
    EXPECT_STREQ(AbSideName(AbSide::B), "B");
}

}  // namespace
