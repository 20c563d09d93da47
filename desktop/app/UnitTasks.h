// The operations the windows start on the unit. Each runs on the link's
// worker (UnitLink.h), so the windows keep painting and answering input
// whatever the unit does; one runs at a time. A long one shows a progress
// window over the window that started it: what is being done, for the
// memory-file operations the slot it is at, and a Cancel button. The
// progress window is not modal and does not take the keyboard, so the
// window the user works in stays usable.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "app/EditHistory.h"
#include "unit/LinkWorker.h"
#include "unit/UnitOperations.h"

class QProgressDialog;
class QWidget;

// What the progress window says. An empty `what` shows none: the operation
// is over in a blink.
struct TaskDisplay {
    QString what;
    bool bySlot = false;  // the operation moves through the six memories
    // How the setting the operation leaves enters the edit history.
    HistoryEntry history{};
};

class UnitTaskRunner : public QObject {
    Q_OBJECT
public:
    using Work = std::function<void(Link& link, const SlotProgress& progress)>;

    // Starts the operation unless one is under way (false then: nothing
    // runs). `work` runs on the worker, the link's model holding `model` as
    // it stands now; then, back on this thread, `model` takes the link's
    // model (TakeUnitPicture), the edit history takes it as `display` says,
    // the windows are told (NotifyModelChanged) and `done` runs, unless
    // `owner` was destroyed meanwhile.
    bool Start(QWidget* owner, const TaskDisplay& display, Work work, std::function<void()> done);
    // The same for work with a result, which `done` gets.
    template <class Result>
    bool Start(QWidget* owner, const TaskDisplay& display, std::function<Result(Link&, const SlotProgress&)> work,
               std::function<void(const Result&)> done);

    bool Busy() const { return busy_; }
    // Whether the user cancelled the operation under way, or the one whose
    // `done` is running.
    bool Cancelled() const { return cancelled_; }

    // Ends the operation under way at its current step; it still ends
    // through its `done`.
    void Cancel();
    // Forgets the operation under way (at exit, before the worker stops):
    // the runner is free at once and a result that still comes is ignored.
    void Abandon();

signals:
    void busyChanged(bool busy);
    // The unit started or stopped answering (Link::Answering).
    void answeringChanged(bool answering);
    // Edits kept until the unit answers them (LinkWorker::PendingCount).
    void pendingChanged(int pending);
    // Kept edits reached the unit once it answered again. When the read-back
    // differs, `model` has already taken the unit's setting.
    void pendingResent(const ResendReport& report);

private:
    friend UnitTaskRunner& UnitTasks();
    UnitTaskRunner();

    void ShowProgress(QWidget* owner, const TaskDisplay& display);
    void ShowSlot(long task, int slot);
    void Finish(long task, const ParameterModel& picture, const std::function<void()>& done);
    void EndTask();
    void TakeResent(const ResendReport& report);

    bool busy_ = false;
    bool cancelled_ = false;
    long task_ = 0;  // counts the operations started
    LinkWorker::Ticket ticket_ = 0;
    QPointer<QWidget> owner_;
    bool ownerGiven_ = false;
    QPointer<QProgressDialog> progress_;
    QString what_;
    HistoryEntry history_;
};

// The program's one runner, made on the GUI thread at first use.
UnitTaskRunner& UnitTasks();

template <class Result>
bool UnitTaskRunner::Start(QWidget* owner, const TaskDisplay& display,
                           std::function<Result(Link&, const SlotProgress&)> work,
                           std::function<void(const Result&)> done)
{
    auto result = std::make_shared<Result>();
    return Start(
        owner, display,
        [work = std::move(work), result](Link& link, const SlotProgress& progress) { *result = work(link, progress); },
        [done = std::move(done), result] {
            if (done) done(*result);
        });
}

// A connect's end; a failed one says why, in words taken as it failed (the
// port is let go again before `done` runs).
struct ConnectOutcome : ConnectReport {
    QString failure;
};

// The connect sequence on the current port, opened afresh unless it is open
// already (a failure's reason is always today's); the firmware types it
// settles are written to the settings on this thread. Messages still
// pending from an earlier connection are dropped: the unit's own setting is
// read.
bool StartConnect(QWidget* owner, std::function<void(const ConnectOutcome&)> done);
// The disconnect message, sent off this thread, the pending messages
// dropped and the port let go, then `done`.
bool StartDisconnect(QWidget* owner, std::function<void()> done);
