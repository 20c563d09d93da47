#include "history/AbCompare.h"

#include "history/SettingChanges.h"

const char* AbSideName(AbSide side) { return side == AbSide::A ? "A" : "B"; }

void AbCompare::Keep(AbSide side, const ParameterModel& setting)
{
    (side == AbSide::A ? a_ : b_) = setting;
    active_ = side;
}

std::optional<ParameterModel> AbCompare::SwitchTo(AbSide side, const ParameterModel& current)
{
    const std::optional<ParameterModel>& kept = Slot(side);
    if (!kept) return std::nullopt;
    ParameterModel target = current;
    PutAfter(target, SettingDifferences(current, *kept));
    active_ = side;
    return target;
}

bool AbCompare::Drifted(const ParameterModel& current) const
{
    return active_ && !SameSetting(current, *Slot(*active_));
}
