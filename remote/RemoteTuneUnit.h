// The unit as a job on the sound card's thread drives it through the
// remote's unit: its mutes set between the sweeps (edits outside the
// history, which the sequence puts back itself), the setting the unit is to
// hold, and a tuning's change of it as one step of the history (with its
// second pass: the changes of one object are one step). Each is
// done on the io thread, which every client is told of like any change;
// the job's thread waits for the unit's acknowledgement.
#pragma once

#include <boost/asio/any_io_executor.hpp>

#include "TuneUnit.h"

class RemoteUnit;

class RemoteTuneUnit : public TuneUnit {
public:
    // Made on the io thread: the person's mutes are those the unit is to hold then.
    RemoteTuneUnit(RemoteUnit& unit, boost::asio::any_io_executor io);
    MuteState Current() override { return mutes_; }
    // False when the unit did not acknowledge it or is not connected.
    bool Send(MuteChannel channel, bool muted) override;
    std::optional<ParameterModel> Setting() override;
    ApplyResult Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label) override;

private:
    RemoteUnit& unit_;
    boost::asio::any_io_executor io_;
    MuteState mutes_;
    long gesture_;  // the history's id of this object's changes
};
