// The unit's side of a tuning pass run off the GUI thread, through the
// desktop's own link: the mutes as a measurement drives them (WorkerMutes),
// the setting read from the unit on the link's worker, and a change sent
// there one acknowledged message at a time. A change the unit took becomes
// one step of the desktop's history on the GUI thread, and the windows
// follow it; every Apply of one WorkerTuneUnit merges into that one step,
// so that one undo brings back the setting as it was before the tuning.
#pragma once

#include <atomic>

#include "TuneUnit.h"
#include "measure/WorkerMutes.h"

class WorkerTuneUnit : public TuneUnit {
public:
    // Made on the GUI thread as the pass starts.
    WorkerTuneUnit();
    // `cancel` ends a change between two messages (what was sent is put back).
    void CancelledBy(const std::atomic<bool>& cancel) { cancel_ = &cancel; }

    MuteState Current() override { return mutes_.Current(); }
    bool Send(MuteChannel channel, bool muted) override { return mutes_.Send(channel, muted); }
    std::optional<ParameterModel> Setting() override;
    ApplyResult Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label) override;

private:
    WorkerMutes mutes_;
    ParameterModel shown_;  // `model` as the pass started: the fields the unit's image leaves out
    const std::atomic<bool>* cancel_ = nullptr;
    long gesture_;
};
