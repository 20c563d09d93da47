#include "UnitMutes.h"

namespace {

bool& Field(MuteState& state, MuteChannel channel)
{
    return channel == MuteChannel::LeftRight ? state.leftRight : state.sub;
}

bool Get(const MuteState& state, MuteChannel channel)
{
    return channel == MuteChannel::LeftRight ? state.leftRight : state.sub;
}

}  // namespace

const char* MuteChannelName(MuteChannel channel) { return channel == MuteChannel::LeftRight ? "Left & Right" : "Sub"; }

std::string DescribeUnrestored(const std::vector<UnrestoredMute>& mutes)
{
    std::string text;
    for (const UnrestoredMute& mute : mutes) {
        if (!text.empty()) text += ", ";
        text += std::string(MuteChannelName(mute.channel)) + " should be " + (mute.muted ? "muted" : "unmuted");
    }
    return text;
}

MuteKeeper::MuteKeeper(UnitMutes& unit) : unit_(unit), original_(unit.Current()), set_(original_) {}

bool MuteKeeper::Set(const MuteState& wanted)
{
    for (MuteChannel channel : {MuteChannel::LeftRight, MuteChannel::Sub}) {
        const bool muted = Get(wanted, channel);
        if (Get(set_, channel) != muted && !SendOne(channel, muted)) return false;
    }
    return true;
}

std::vector<UnrestoredMute> MuteKeeper::Restore()
{
    std::vector<UnrestoredMute> unrestored;
    for (MuteChannel channel : {MuteChannel::LeftRight, MuteChannel::Sub}) {
        const bool muted = Get(original_, channel);
        if (Get(touched_, channel) && !SendOne(channel, muted)) unrestored.push_back({channel, muted});
    }
    return unrestored;
}

bool MuteKeeper::SendOne(MuteChannel channel, bool muted)
{
    Field(touched_, channel) = true;
    const bool acknowledged = unit_.Send(channel, muted);
    if (acknowledged) Field(set_, channel) = muted;
    return acknowledged;
}
