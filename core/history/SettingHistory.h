// The history of the setting's changes, shared by every face of the program
// so that undo and redo follow the same rules everywhere.
//
// A step is the fields one change touched, each with its value before and
// after, and a label that names it. A gesture (a drag, a held button, a
// burst of steps from one control) is one step: every change recorded under
// the same gesture id while its step is the newest merges into that step,
// which keeps the first value before and the last one after. Undo and redo
// move through the steps; a new change after an undo drops what could have
// been redone. The oldest steps are dropped beyond the capacity.
//
// The history only keeps the steps; its owner puts the values into its
// setting and sends them (PutBefore, PutAfter, MessagesBetween).
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "history/SettingChanges.h"

struct HistoryStep {
    std::string label;  // "Level Left & Right −3.5 dB", "Recall memory 2"
    std::vector<FieldChange> changes;
    long gesture = 0;            // 0: none
    bool namedByChanges = true;  // the label follows the changes as they merge
};

class SettingHistory {
public:
    static constexpr std::size_t kCapacity = 200;
    static constexpr long kNoGesture = 0;

    explicit SettingHistory(std::size_t capacity = kCapacity);

    // The change from `before` to `after` as a step named `label` (empty:
    // named by its changes). Nothing is recorded when the two hold the same
    // setting; a gesture's step whose fields all come back to where they
    // started is dropped.
    void Record(const ParameterModel& before, const ParameterModel& after, const std::string& label = {},
                long gesture = kNoGesture);

    // The step an undo or a redo would take; nullptr when there is none.
    const HistoryStep* ToUndo() const;
    const HistoryStep* ToRedo() const;

    // Moves one step back or forward and gives that step, or nullptr when
    // there is none. The step stays valid until the next change of the history.
    const HistoryStep* Undo();
    const HistoryStep* Redo();

    // Forgets every step (a new document, a unit found with another setting).
    void Clear();

    // The steps that can be undone, newest first, at most `count`.
    std::vector<const HistoryStep*> Latest(std::size_t count) const;

    std::size_t UndoCount() const { return done_; }
    std::size_t RedoCount() const { return steps_.size() - done_; }

private:
    bool MergesIntoNewest(long gesture) const;
    void Merge(HistoryStep& step, const std::vector<FieldChange>& changes);
    void Push(HistoryStep step);

    std::size_t capacity_;
    std::deque<HistoryStep> steps_;
    std::size_t done_ = 0;  // steps_[0, done_) are done, the rest undone
};
