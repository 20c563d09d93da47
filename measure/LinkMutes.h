// The unit's mutes over a connected link (the command line's session): the
// mute messages read their payload from the link's model, which mirrors
// the unit, so that the gain they carry as well stays as it is.
#pragma once

#include "UnitMutes.h"

class Link;

class LinkMutes : public UnitMutes {
public:
    explicit LinkMutes(Link& link) : link_(link) {}
    MuteState Current() override;
    bool Send(MuteChannel channel, bool muted) override;

private:
    Link& link_;
};
