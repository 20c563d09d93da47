#include "LinkMutes.h"

#include "link/Link.h"
#include "model/Model.h"
#include "model/ParameterIds.h"
#include "unit/UnitCommands.h"

MuteState LinkMutes::Current()
{
    const ParameterModel& model = link_.Model();
    return {model.mute[kSlotLeftRight] != 0, model.mute[kSlotSub] != 0};
}

bool LinkMutes::Send(MuteChannel channel, bool muted)
{
    ParameterModel& model = link_.Model();
    const bool leftRight = channel == MuteChannel::LeftRight;
    int& field = model.mute[leftRight ? kSlotLeftRight : kSlotSub];
    const int before = field;
    field = muted ? 1 : 0;
    if (SendParameter(link_, leftRight ? PID_LR_MUTE : PID_SUB_MUTE) == 0) return true;
    field = before;  // the model keeps mirroring what the unit acknowledged
    return false;
}
