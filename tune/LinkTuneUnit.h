// The unit's side of a tuning pass over a connected link (the command
// line's session): the mutes as LinkMutes, the setting read from the unit,
// a change sent message by message. The link's model follows what the unit
// acknowledged. The command line keeps no history: a step is its messages.
#pragma once

#include "LinkMutes.h"
#include "TuneUnit.h"

class LinkTuneUnit : public TuneUnit {
public:
    // A change is put back once `cancel` (when given) is set midway.
    explicit LinkTuneUnit(Link& link, const std::atomic<bool>* cancel = nullptr)
        : link_(link), mutes_(link), cancel_(cancel)
    {
    }
    MuteState Current() override { return mutes_.Current(); }
    bool Send(MuteChannel channel, bool muted) override { return mutes_.Send(channel, muted); }
    std::optional<ParameterModel> Setting() override;
    ApplyResult Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label) override;

private:
    Link& link_;
    LinkMutes mutes_;
    const std::atomic<bool>* cancel_;
};
