#include "measure/WorkerMutes.h"

#include <QCoreApplication>

#include <chrono>
#include <future>
#include <memory>

#include "app/EditHistory.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "model/ParameterIds.h"
#include "unit/UnitCommands.h"

namespace {

// Far longer than the link's time-outs: only a program that is shutting
// down (its event loop or worker gone) leaves the answer out this long.
constexpr auto kMuteAnswerWait = std::chrono::seconds(10);

// False when the answer did not come.
bool Await(std::future<bool>& answer)
{
    try {
        return answer.wait_for(kMuteAnswerWait) == std::future_status::ready && answer.get();
    } catch (const std::future_error&) {  // dropped unanswered (the worker stopped)
        return false;
    }
}

int SlotOf(MuteChannel channel) { return channel == MuteChannel::LeftRight ? kSlotLeftRight : kSlotSub; }

// On the GUI thread: `model` shows the mute, the windows follow.
void ShowMute(int slot, bool muted)
{
    model.mute[slot] = muted ? 1 : 0;
    TheEditHistory().Enter({HistoryEntry::Passing});
    NotifyModelChanged();
}

}  // namespace

WorkerMutes::WorkerMutes() : current_{model.mute[kSlotLeftRight] != 0, model.mute[kSlotSub] != 0} {}

bool WorkerMutes::Send(MuteChannel channel, bool muted)
{
    auto acknowledged = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = acknowledged->get_future();
    const int slot = SlotOf(channel);
    QMetaObject::invokeMethod(
        qApp,
        [acknowledged, slot, muted] {
            if (!model.connected) {
                acknowledged->set_value(false);
                return;
            }
            const bool before = model.mute[slot] != 0;
            ShowMute(slot, muted);
            const int id = slot == kSlotLeftRight ? PID_LR_MUTE : PID_SUB_MUTE;
            UnitWorker().Post([acknowledged, slot, before, frame = FrameOf(ParameterPayload(model, id))](Link& link) {
                const bool taken = SendFramed(link, frame.data(), static_cast<int>(frame.size())) == 0;
                // Not taken: the pages show the mute as the unit had it.
                if (!taken) QMetaObject::invokeMethod(qApp, [slot, before] { ShowMute(slot, before); });
                acknowledged->set_value(taken);
            });
        },
        Qt::QueuedConnection);
    const bool taken = Await(answer);
    if (taken) (channel == MuteChannel::LeftRight ? current_.leftRight : current_.sub) = muted;
    return taken;
}
