// How the setting's history moved, in words for the live watch's time line:
// a new step by its label (also a step that grew, a drag going on, under
// its new label), an undo as "Undo <its label>", a redo as "Redo <its
// label>"; nothing when the steps did not move or were forgotten.
#pragma once

#include <optional>
#include <string>

#include "history/SettingHistory.h"

class HistoryMoves {
public:
    explicit HistoryMoves(const SettingHistory& steps) { Take(steps); }

    // The move since the last call (or since it was made).
    std::optional<std::string> Next(const SettingHistory& steps);

private:
    void Take(const SettingHistory& steps);

    std::size_t undoCount_ = 0;
    std::size_t redoCount_ = 0;
    std::string toUndo_;  // the labels of the steps an undo and a redo would take
    std::string toRedo_;
};
