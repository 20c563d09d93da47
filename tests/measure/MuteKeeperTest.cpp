#include "MeasuredOutput.h"
#include "UnitMutes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A unit whose mutes are two flags; it stops answering after `answers` sends.
class FlagUnit : public UnitMutes {
public:
    explicit FlagUnit(MuteState state, int answers = 100) : state_(state), answers_(answers) {}
    MuteState Current() override { return state_; }
    bool Send(MuteChannel channel, bool muted) override
    {
        sent.push_back({channel, muted});
        if (answers_-- <= 0) return false;
        (channel == MuteChannel::LeftRight ? state_.leftRight : state_.sub) = muted;
        return true;
    }
    std::vector<UnrestoredMute> sent;
    MuteState state_;

private:
    int answers_;
};

TEST(MuteKeeper, SendsOnlyWhatChangesAndPutsBackWhatItTouched)
{
    FlagUnit unit({true, false});  // Left & Right muted by the person
    MuteKeeper keeper(unit);
    EXPECT_TRUE(keeper.Set({true, true}));
    EXPECT_TRUE(keeper.Set({true, true}));  // nothing to send again
    EXPECT_TRUE(keeper.Set({false, false}));
    ASSERT_EQ(unit.sent.size(), 3u);
    EXPECT_TRUE(keeper.Restore().empty());
    EXPECT_EQ(unit.Current(), (MuteState{true, false}));
    EXPECT_EQ(unit.sent.size(), 5u);  // both channels were touched
}

TEST(MuteKeeper, AUnitThatStopsAnsweringLeavesTheMutesItCouldNotPutBackNamed)
{
    FlagUnit unit({false, false}, 1);
    MuteKeeper keeper(unit);
    EXPECT_TRUE(keeper.Set({false, true}));   // the Sub muted: answered
    EXPECT_FALSE(keeper.Set({true, false}));  // Left & Right: no answer, the sequence stops there
    const std::vector<UnrestoredMute> unrestored = keeper.Restore();
    // Left & Right may have taken the unanswered mute; the Sub surely kept its own.
    ASSERT_EQ(unrestored.size(), 2u);
    EXPECT_EQ(DescribeUnrestored(unrestored), "Left & Right should be unmuted, Sub should be unmuted");
}

TEST(MuteKeeper, NothingTouchedIsNothingSent)
{
    FlagUnit unit({true, true}, 0);
    MuteKeeper keeper(unit);
    EXPECT_TRUE(keeper.Set({true, true}));
    EXPECT_TRUE(keeper.Restore().empty());
    EXPECT_TRUE(unit.sent.empty());
}

}  // namespace

