// A channel's three PEQ bands (and its level) set at once as ordinary
// edits: one band message for each band that changes, through SendEdit, so
// a connected unit hears exactly the changed bands and, offline, the
// document takes the edit.
#pragma once

#include <optional>

#include "tuning/PeqBands.h"

// What a channel had before SendPeqBands changed it.
struct PeqBandsBefore {
    int slot = kSlotLeftRight;
    PeqBands bands;
    int levelStep = kGainStepZero;
};

// Sets the bands of `slot` (and its level step, when given) in `model` and
// sends what changed. Returns the bands and level as they were.
PeqBandsBefore SendPeqBands(int slot, const PeqBands& bands, std::optional<int> levelStep = std::nullopt);
