#include <gtest/gtest.h>

#include "history/SettingChanges.h"
#include "link/ParameterMessages.h"

namespace {

ParameterModel Factory()
{
    ParameterModel model{};
    LoadDefaults(model);
    return model;
}

// The payload of `id` built from `model` with the cursor on slot and band.
std::vector<std::uint8_t> PayloadAt(ParameterModel model, int id, int slot, int band = 0)
{
    model.curChannel = slot;
    model.curBand = band;
    return ParameterPayload(model, id);
}

TEST(SettingDifferencesTest, NamesEachChangedFieldOfTheTwoEditedSlotsOnly)
{
    const ParameterModel before = Factory();
    ParameterModel after = before;
    after.gain[kSlotLeftRight] = 121;
    after.peqGain[PeqIndex(kSlotSub, 2)] = 143;
    after.gain[1] = 9;     // the slot that is never edited
    after.curChannel = 2;  // nor is the cursor part of the setting
    after.memUsed[0] = 0;  // nor the memories
    const std::vector<FieldChange> changes = SettingDifferences(before, after);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_STREQ(changes[0].field.channel->name, "gain");
    EXPECT_EQ(changes[0].field.slot, kSlotLeftRight);
    EXPECT_EQ(changes[0].before, 128);
    EXPECT_EQ(changes[0].after, 121);
    EXPECT_STREQ(changes[1].field.peq->name, "gain");
    EXPECT_EQ(changes[1].field.slot, kSlotSub);
    EXPECT_EQ(changes[1].field.band, 2);
    EXPECT_EQ(changes[1].after, 143);
    EXPECT_TRUE(SameSetting(before, Factory()));
    EXPECT_FALSE(SameSetting(before, after));

    ParameterModel back = after;
    PutBefore(back, changes);
    EXPECT_TRUE(SameSetting(back, before));
    PutAfter(back, changes);
    EXPECT_TRUE(SameSetting(back, after));
}

TEST(MessagesBetweenTest, SendsOnlyTheDifferingMessagesLevelsDownFirstAndRaisesLast)
{
    const ParameterModel unit = Factory();
    ParameterModel target = unit;
    target.gain[kSlotSub] = 140;                      // up
    target.hpfFreq[kSlotLeftRight] = 80;              // no level
    target.peqFreq[PeqIndex(kSlotSub, 1)] = 200;      // one message for the band ...
    target.peqBandwidth[PeqIndex(kSlotSub, 1)] = 30;  // ... whatever it changed in it
    target.mute[kSlotLeftRight] = 1;                  // down
    target.xoverOn[kSlotSub] = 0;                     // no message carries it
    const auto messages = MessagesBetween(unit, target);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], PayloadAt(target, PID_LR_MUTE, kSlotLeftRight));
    EXPECT_EQ(messages[1], PayloadAt(target, PID_LR_HPF, kSlotLeftRight));
    EXPECT_EQ(messages[2], PayloadAt(target, PID_PEQ_FREQ, kSlotSub, 1));
    EXPECT_EQ(messages[3], PayloadAt(target, PID_SUB_GAIN, kSlotSub));
    EXPECT_TRUE(MessagesBetween(unit, unit).empty());

    const std::vector<SettingMessage> grouped = SettingMessages(unit, target);
    ASSERT_EQ(grouped.size(), 4u);
    EXPECT_EQ(grouped[2].changes.size(), 2u);  // the band's frequency and bandwidth
    EXPECT_EQ(grouped[2].band, 1);
    EXPECT_EQ(grouped[3].changes.size(), 1u);
}

TEST(MessagesBetweenTest, ALevelLoweredAndUnmutedGoesInOneMessageAfterTheRest)
{
    ParameterModel unit = Factory();
    unit.mute[kSlotSub] = 1;
    ParameterModel target = Factory();
    target.gain[kSlotSub] = 100;  // down, but the unmute in the same message raises it
    target.delay[kSlotSub] = 7;
    const auto messages = MessagesBetween(unit, target);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], PayloadAt(target, PID_DELAY, kSlotSub));
    EXPECT_EQ(messages[1], PayloadAt(target, PID_SUB_GAIN, kSlotSub));
}

TEST(DescribeChangesTest, NamesTheFieldTheChannelAndTheValueItTook)
{
    const ParameterModel before = Factory();
    ParameterModel after = before;
    after.gain[kSlotLeftRight] = 121;
    EXPECT_EQ(DescribeChanges(SettingDifferences(before, after)), "Level Left & Right \u22123.5 dB");
    after.mute[kSlotSub] = 1;
    EXPECT_EQ(DescribeChanges(SettingDifferences(before, after)), "Level Left & Right \u22123.5 dB and 1 more");
    after = before;
    after.mute[kSlotSub] = 1;
    EXPECT_EQ(DescribeChanges(SettingDifferences(before, after)), "Mute Sub on");
    after = before;
    after.peqGain[PeqIndex(kSlotSub, 0)] = 143;
    EXPECT_EQ(DescribeChanges(SettingDifferences(before, after)), "PEQ 1 Gain Sub +1.5 dB");
    EXPECT_EQ(DescribeChanges({}), "");
}

}  // namespace
