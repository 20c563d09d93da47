// A and B: two settings kept to compare by ear. Either side keeps the
// setting as it stands; a switch takes the setting to the kept one, and the
// side switched to is the active one until another is. The current setting
// has drifted from the active side once any field differs from it.
//
// A switch is sent as the messages between the two settings
// (MessagesBetween: only the fields that differ, levels down first) and is
// one step of the history; the owner does both.
#pragma once

#include <optional>

#include "model/Model.h"

enum class AbSide { A, B };

// "A" or "B".
const char* AbSideName(AbSide side);

class AbCompare {
public:
    // The setting (its fields only count) kept on `side`, now the active side.
    void Keep(AbSide side, const ParameterModel& setting);
    bool Kept(AbSide side) const { return Slot(side).has_value(); }

    // `current` with every field of the setting kept on `side`: the setting a
    // switch leads to, which becomes the active side. Empty while that side
    // keeps nothing.
    std::optional<ParameterModel> SwitchTo(AbSide side, const ParameterModel& current);

    std::optional<AbSide> Active() const { return active_; }
    // Whether `current` differs from the active side; false with none active.
    bool Drifted(const ParameterModel& current) const;

private:
    const std::optional<ParameterModel>& Slot(AbSide side) const { return side == AbSide::A ? a_ : b_; }

    std::optional<ParameterModel> a_;
    std::optional<ParameterModel> b_;
    std::optional<AbSide> active_;
};
