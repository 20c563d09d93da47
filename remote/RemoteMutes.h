// The unit's mutes as a measurement on the sound card's thread drives them
// through the remote's unit: each change is an edit made on the io thread,
// outside the history (the measurement puts it back itself), which every
// client is told of like any change; the measurement's thread waits for the
// unit's acknowledgement.
#pragma once

#include <boost/asio/any_io_executor.hpp>

#include "UnitMutes.h"

class RemoteUnit;

class RemoteMutes : public UnitMutes {
public:
    // Made on the io thread: the person's mutes are those the unit is to hold then.
    RemoteMutes(RemoteUnit& unit, boost::asio::any_io_executor io);
    MuteState Current() override { return current_; }
    // False when the unit did not acknowledge it or is not connected.
    bool Send(MuteChannel channel, bool muted) override;

private:
    RemoteUnit& unit_;
    boost::asio::any_io_executor io_;
    MuteState current_;
};
