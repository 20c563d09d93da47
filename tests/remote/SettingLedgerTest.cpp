// The setting ledger without a unit: what an acknowledgement settles and
// takes into the acknowledged setting when the link has coalesced messages,
// and what a failed message leaves.
#include <gtest/gtest.h>

#include "remote/SettingLedger.h"

namespace {

// A field of the Left&Right channel: FIELD or peq BAND FIELD, as `set` names it.
struct Field {
    std::vector<std::string> words;
    int In(const ParameterModel& model) const
    {
        ParameterModel copy = model;
        return ParseFieldEdit("lr", Words("0")).assignments[0].target(copy);
    }
    std::vector<std::string> Words(const std::string& value) const
    {
        std::vector<std::string> all = words;
        all.push_back(value);
        return all;
    }
};
Field Peq(int band, const char* name) { return {{"peq", std::to_string(band), name}}; }
Field Channel(const char* name) { return {{name}}; }

class Ledger : public ::testing::Test {
protected:
    Ledger() : ledger(Defaults()) {}
    static ParameterModel Defaults()
    {
        ParameterModel model{};
        LoadDefaults(model);
        return model;
    }
    // Takes the edit and notes its result in results[name] once settled.
    Payload Edit(const Field& field, int steps, const std::string& name)
    {
        return ledger.Edit(ParseFieldEdit("lr", field.Words(std::to_string(steps))),
                           [this, name](int result) { results[name] = result; });
    }
    void Tell(const SettingLedger::Passage& passage, int result)
    {
        for (const auto& settled : passage.settled) settled(result);
    }

    SettingLedger ledger;
    std::map<std::string, int> results;
};

TEST_F(Ledger, AnAcknowledgedMessageSettlesTheEditsItReplacedAndCarriesTheirValues)
{
    // Frequency and gain of one band: the second message carries both, and
    // the link sent only it.
    const Payload frequency = Edit(Peq(0, "freq"), 100, "freq");
    const Payload gain = Edit(Peq(0, "gain"), 150, "gain");
    EXPECT_EQ(gain[0], frequency[0]);  // one message, coalesced by the link
    const SettingLedger::Passage passage = ledger.Sent(gain, 0);
    Tell(passage, 0);
    EXPECT_EQ(passage.changedSlot, kSlotLeftRight);
    EXPECT_EQ(results, (std::map<std::string, int>{{"freq", 0}, {"gain", 0}}));
    EXPECT_EQ(Peq(0, "freq").In(ledger.Acknowledged()), 100);
    EXPECT_EQ(Peq(0, "gain").In(ledger.Acknowledged()), 150);
    EXPECT_EQ(ledger.OutstandingCount(), 0u);
}

TEST_F(Ledger, AMessageCarriesTheOtherFieldsItHoldsAndAFailureLeavesTheUnitsSetting)
{
    // The gain message also carries the mute, edited just before.
    const Payload mute = Edit(Channel("mute"), 1, "mute");
    const Payload gain = Edit(Channel("gain"), 90, "gain");
    EXPECT_EQ(gain, Payload({211, 90, 1}));
    Tell(ledger.Sent(gain, 0), 0);
    EXPECT_EQ(Channel("mute").In(ledger.Acknowledged()), 1);
    EXPECT_EQ(Channel("gain").In(ledger.Acknowledged()), 90);
    EXPECT_FALSE(results.count("mute"));  // its own message is still on its way

    // That message fails: the acknowledged setting keeps what the unit said.
    const Payload delay = Edit(Channel("delay"), 50, "delay");
    Tell(ledger.Sent(delay, 3), 3);
    EXPECT_EQ(results["delay"], 3);
    EXPECT_EQ(Channel("delay").In(ledger.Acknowledged()), 0);
    EXPECT_EQ(Channel("delay").In(ledger.Expected()), 0);

    // A value the unit has is sent again (it may have been changed at the
    // unit since), and so is one on its way; each edit is settled.
    EXPECT_EQ(Edit(Channel("gain"), 90, "again"), gain);
    const Payload polarity = Edit(Channel("polarity"), 1, "once");
    EXPECT_EQ(Edit(Channel("polarity"), 1, "twice"), polarity);
    Tell(ledger.Sent(polarity, 0), 0);
    EXPECT_EQ(results["once"], 0);
    EXPECT_EQ(results["twice"], 0);
    Tell(ledger.Sent(gain, 0), 0);
    EXPECT_EQ(results["again"], 0);
    Tell(ledger.Sent(mute, 0), 0);
    EXPECT_EQ(results["mute"], 0);
    EXPECT_EQ(ledger.OutstandingCount(), 0u);
}

}  // namespace
