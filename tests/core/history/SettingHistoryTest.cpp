#include <gtest/gtest.h>

#include "history/SettingHistory.h"

namespace {

ParameterModel WithGain(int gain, int slot = kSlotLeftRight)
{
    ParameterModel model{};
    LoadDefaults(model);
    model.gain[slot] = gain;
    return model;
}

TEST(SettingHistoryTest, AGestureIsOneStepFromWhereItStartedToWhereItEnded)
{
    SettingHistory history;
    for (int gain = 128; gain > 121; --gain) history.Record(WithGain(gain), WithGain(gain - 1), {}, 7);
    ASSERT_EQ(history.UndoCount(), 1u);
    const HistoryStep* step = history.ToUndo();
    ASSERT_EQ(step->changes.size(), 1u);
    EXPECT_EQ(step->changes[0].before, 128);
    EXPECT_EQ(step->changes[0].after, 121);
    EXPECT_EQ(step->label, "Level Left & Right \u22123.5 dB");

    // Another gesture, or none, is a step of its own.
    history.Record(WithGain(121), WithGain(120), {}, 8);
    history.Record(WithGain(120), WithGain(119));
    history.Record(WithGain(119), WithGain(118));
    EXPECT_EQ(history.UndoCount(), 4u);
}

TEST(SettingHistoryTest, AGestureBackWhereItStartedLeavesNoStepAndANamedStepKeepsItsName)
{
    SettingHistory history;
    history.Record(WithGain(128), WithGain(130), {}, 3);
    history.Record(WithGain(130), WithGain(128), {}, 3);
    EXPECT_EQ(history.ToUndo(), nullptr);
    history.Record(WithGain(128), WithGain(128));  // no change, no step
    EXPECT_EQ(history.UndoCount(), 0u);

    history.Record(WithGain(128), WithGain(100), "Recall memory 2", 4);
    ParameterModel subLowered = WithGain(100);
    subLowered.gain[kSlotSub] = 90;
    history.Record(WithGain(100), subLowered, {}, 4);
    ASSERT_EQ(history.UndoCount(), 1u);
    EXPECT_EQ(history.ToUndo()->label, "Recall memory 2");
    EXPECT_EQ(history.ToUndo()->changes.size(), 2u);
}

TEST(SettingHistoryTest, UndoAndRedoWalkTheStepsAndANewChangeDropsTheRedoBranch)
{
    SettingHistory history;
    EXPECT_EQ(history.Undo(), nullptr);
    history.Record(WithGain(128), WithGain(120));
    history.Record(WithGain(120), WithGain(110), {}, 5);
    EXPECT_EQ(history.Redo(), nullptr);

    EXPECT_EQ(history.Undo()->changes[0].before, 120);
    EXPECT_EQ(history.Undo()->changes[0].before, 128);
    EXPECT_EQ(history.Undo(), nullptr);
    EXPECT_EQ(history.RedoCount(), 2u);
    EXPECT_EQ(history.Redo()->changes[0].after, 120);
    EXPECT_EQ(history.ToRedo()->changes[0].after, 110);

    // The same gesture id after an undo starts a new step, and drops the redo branch.
    history.Record(WithGain(120), WithGain(125), {}, 5);
    EXPECT_EQ(history.RedoCount(), 0u);
    ASSERT_EQ(history.UndoCount(), 2u);
    EXPECT_EQ(history.ToUndo()->changes[0].before, 120);
    EXPECT_EQ(history.ToUndo()->changes[0].after, 125);

    history.Clear();
    EXPECT_EQ(history.UndoCount() + history.RedoCount(), 0u);
}

TEST(SettingHistoryTest, KeepsTheNewestStepsUpToItsCapacityAndListsThemNewestFirst)
{
    SettingHistory history;
    const int steps = static_cast<int>(SettingHistory::kCapacity) + 1;
    for (int i = 0; i < steps; ++i) history.Record(WithGain(i % 2 ? 20 : 10), WithGain(i % 2 ? 10 : 20));
    EXPECT_EQ(history.UndoCount(), SettingHistory::kCapacity);

    history.Undo();
    const std::vector<const HistoryStep*> latest = history.Latest(3);
    ASSERT_EQ(latest.size(), 3u);
    EXPECT_EQ(latest[0], history.ToUndo());
    EXPECT_EQ(latest[0]->changes[0].after, 10);  // the newest but one: step 199 of 0..200
    EXPECT_EQ(latest[1]->changes[0].after, 20);
    EXPECT_EQ(history.Latest(500).size(), SettingHistory::kCapacity - 1);
}

}  // namespace
