// The unit's mutes as a measurement running off the GUI thread drives them,
// through the desktop's own link (UnitLink.h): each change is made in
// `model` on the GUI thread, so that the pages follow it and the history
// passes it over (the measurement puts it back), and its message, read from
// `model` there like an edit's, goes out on the link's worker behind the
// edits posted before it. The measurement's thread waits for the unit's
// acknowledgement.
#pragma once

#include "UnitMutes.h"

class WorkerMutes : public UnitMutes {
public:
    // Made on the GUI thread as the measurement starts: the person's mutes
    // are those `model` shows then; each one the unit takes follows.
    WorkerMutes();
    MuteState Current() override { return current_; }
    bool Send(MuteChannel channel, bool muted) override;

private:
    MuteState current_;
};
