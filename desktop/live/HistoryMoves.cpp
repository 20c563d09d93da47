#include "live/HistoryMoves.h"

namespace {

std::string LabelOf(const HistoryStep* step) { return step ? step->label : std::string(); }

}  // namespace

std::optional<std::string> HistoryMoves::Next(const SettingHistory& steps)
{
    const std::size_t undo = steps.UndoCount(), redo = steps.RedoCount();
    const std::string toUndo = LabelOf(steps.ToUndo());
    std::optional<std::string> move;
    if (undo + 1 == undoCount_ && redo == redoCount_ + 1)
        move = "Undo " + LabelOf(steps.ToRedo());
    else if (undo == undoCount_ + 1 && redo + 1 == redoCount_ && toUndo == toRedo_)
        move = "Redo " + toUndo;
    else if (undo > 0 && (undo != undoCount_ || toUndo != toUndo_))
        move = toUndo;
    Take(steps);
    return move;
}

void HistoryMoves::Take(const SettingHistory& steps)
{
    undoCount_ = steps.UndoCount();
    redoCount_ = steps.RedoCount();
    toUndo_ = LabelOf(steps.ToUndo());
    toRedo_ = LabelOf(steps.ToRedo());
}
