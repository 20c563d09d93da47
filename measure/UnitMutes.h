// The unit's two mutes as a measurement drives them: read as the person has
// them, changed between sweeps (each change acknowledged before the next
// sweep), and put back afterwards whatever happened. Nothing else of the
// unit is touched.
#pragma once

#include <string>
#include <vector>

#include "MeasuredOutput.h"

enum class MuteChannel { LeftRight, Sub };

// "Left & Right", "Sub".
const char* MuteChannelName(MuteChannel channel);

// The unit's side: a connected unit behind the command line's link, or the
// desktop's and the remote's worker.
class UnitMutes {
public:
    virtual ~UnitMutes() = default;
    // The mutes as the unit holds them now.
    virtual MuteState Current() = 0;
    // Sends one mute; true once the unit acknowledged it.
    virtual bool Send(MuteChannel channel, bool muted) = 0;
};

// A mute the unit did not take back: the channel and the state it should
// have (the person's).
struct UnrestoredMute {
    MuteChannel channel;
    bool muted;
};

// "Left & Right should be unmuted, Sub should be muted" (for the person to
// put right by hand).
std::string DescribeUnrestored(const std::vector<UnrestoredMute>& mutes);

// Holds the person's mutes while the sequence changes them.
class MuteKeeper {
public:
    // Reads the mutes as the person has them.
    explicit MuteKeeper(UnitMutes& unit);
    // Sends what differs from `wanted`; false at the first change the unit
    // did not acknowledge.
    bool Set(const MuteState& wanted);
    // Puts back every mute that was changed, or might have been; the ones
    // the unit did not acknowledge.
    std::vector<UnrestoredMute> Restore();

    const MuteState& Original() const { return original_; }

private:
    bool SendOne(MuteChannel channel, bool muted);

    UnitMutes& unit_;
    MuteState original_;
    MuteState touched_;  // a channel sent to, acknowledged or not
    MuteState set_;      // what the unit was told last
};
