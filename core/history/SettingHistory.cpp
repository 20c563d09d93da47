#include "history/SettingHistory.h"

#include <algorithm>

SettingHistory::SettingHistory(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void SettingHistory::Record(const ParameterModel& before, const ParameterModel& after, const std::string& label,
                            long gesture)
{
    std::vector<FieldChange> changes = SettingDifferences(before, after);
    if (changes.empty()) return;
    if (MergesIntoNewest(gesture)) return Merge(steps_.back(), changes);
    const bool namedByChanges = label.empty();
    Push({namedByChanges ? DescribeChanges(changes) : label, std::move(changes), gesture, namedByChanges});
}

bool SettingHistory::MergesIntoNewest(long gesture) const
{
    return gesture != kNoGesture && done_ == steps_.size() && done_ > 0 && steps_.back().gesture == gesture;
}

void SettingHistory::Merge(HistoryStep& step, const std::vector<FieldChange>& changes)
{
    for (const FieldChange& change : changes) {
        const auto same = std::find_if(step.changes.begin(), step.changes.end(),
                                       [&change](const FieldChange& c) { return c.field == change.field; });
        if (same == step.changes.end())
            step.changes.push_back(change);
        else
            same->after = change.after;
    }
    std::erase_if(step.changes, [](const FieldChange& c) { return c.before == c.after; });
    if (step.changes.empty()) {
        steps_.pop_back();
        --done_;
    } else if (step.namedByChanges) {
        step.label = DescribeChanges(step.changes);
    }
}

void SettingHistory::Push(HistoryStep step)
{
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
    steps_.push_back(std::move(step));
    if (steps_.size() > capacity_) steps_.pop_front();
    done_ = steps_.size();
}

const HistoryStep* SettingHistory::ToUndo() const { return done_ > 0 ? &steps_[done_ - 1] : nullptr; }

const HistoryStep* SettingHistory::ToRedo() const { return done_ < steps_.size() ? &steps_[done_] : nullptr; }

const HistoryStep* SettingHistory::Undo()
{
    const HistoryStep* step = ToUndo();
    if (step) --done_;
    return step;
}

const HistoryStep* SettingHistory::Redo()
{
    const HistoryStep* step = ToRedo();
    if (step) ++done_;
    return step;
}

void SettingHistory::Clear()
{
    steps_.clear();
    done_ = 0;
}

std::vector<const HistoryStep*> SettingHistory::Latest(std::size_t count) const
{
    std::vector<const HistoryStep*> latest;
    for (std::size_t i = done_; i > 0 && latest.size() < count; --i) latest.push_back(&steps_[i - 1]);
    return latest;
}
