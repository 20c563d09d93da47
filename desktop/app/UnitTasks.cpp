#include "app/UnitTasks.h"

#include <QProgressDialog>
#include <cstdint>
#include <vector>

#include "app/AppSettings.h"
#include "app/Identity.h"
#include "app/LinkFailureText.h"
#include "app/ModelChanges.h"
#include "app/PortSetting.h"
#include "app/UnitLink.h"

namespace {

// A progress window only for what lasts longer than a blink: a connect to a
// unit that answers is over before it would show.
constexpr int kShowProgressAfterMs = 300;

}  // namespace

UnitTaskRunner& UnitTasks()
{
    static UnitTaskRunner runner;
    return runner;
}

UnitTaskRunner::UnitTaskRunner()
{
    // Set while the worker is idle, so that no step reads it as it changes.
    UnitWorker().Run([this](Link& link) {
        link.onAnsweringChanged = [this](bool answering) {
            QMetaObject::invokeMethod(
                this, [this, answering] { emit answeringChanged(answering); }, Qt::QueuedConnection);
        };
    });
    SetPendingEditHandlers(
        [this](std::size_t pending) {
            QMetaObject::invokeMethod(
                this, [this, pending] { emit pendingChanged(static_cast<int>(pending)); }, Qt::QueuedConnection);
        },
        [this](const ResendReport& report) {
            QMetaObject::invokeMethod(
                this, [this, report] { TakeResent(report); }, Qt::QueuedConnection);
        });
}

// An operation under way brings the unit's picture itself when it ends.
void UnitTaskRunner::TakeResent(const ResendReport& report)
{
    if (report.confirmed && !report.differing.empty() && !busy_) {
        TakeUnitPicture(model, report.unitSetting);
        TheEditHistory().Enter({HistoryEntry::UnitSetting});
        NotifyModelChanged();
    }
    emit pendingResent(report);
}

bool UnitTaskRunner::Start(QWidget* owner, const TaskDisplay& display, Work work, std::function<void()> done)
{
    if (busy_) return false;
    busy_ = true;
    cancelled_ = false;
    owner_ = owner;
    ownerGiven_ = owner != nullptr;
    history_ = display.history;
    const long task = ++task_;
    ShowProgress(owner, display);
    ticket_ = UnitWorker().Post([this, task, windows = model, work = std::move(work),
                                 done = std::move(done)](Link& link) {
        link.Model() = windows;
        work(link, [this, task](int slot) {
            QMetaObject::invokeMethod(
                this, [this, task, slot] { ShowSlot(task, slot); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, task, picture = link.Model(), done] { Finish(task, picture, done); }, Qt::QueuedConnection);
    });
    emit busyChanged(true);
    return true;
}

void UnitTaskRunner::Cancel()
{
    if (!busy_) return;
    cancelled_ = true;
    UnitWorker().Cancel(ticket_);
}

void UnitTaskRunner::Abandon()
{
    if (!busy_) return;
    ++task_;
    EndTask();
}

void UnitTaskRunner::ShowProgress(QWidget* owner, const TaskDisplay& display)
{
    what_ = display.what;
    if (what_.isEmpty()) return;
    progress_ = new QProgressDialog(what_, QStringLiteral("Cancel"), 0, display.bySlot ? kMemorySlots : 0,
                                    owner ? owner->window() : nullptr);
    progress_->setWindowTitle(QString::fromLatin1(kApplicationName));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setAttribute(Qt::WA_ShowWithoutActivating);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    progress_->setMinimumDuration(kShowProgressAfterMs);
    progress_->setValue(0);  // starts the wait before it shows
    connect(progress_, &QProgressDialog::canceled, this, &UnitTaskRunner::Cancel);
}

void UnitTaskRunner::ShowSlot(long task, int slot)
{
    if (task != task_ || !progress_) return;
    progress_->setLabelText(QStringLiteral("%1\nslot %2 of %3").arg(what_).arg(slot).arg(kMemorySlots));
    progress_->setValue(slot - 1);
}

void UnitTaskRunner::Finish(long task, const ParameterModel& picture, const std::function<void()>& done)
{
    if (task != task_) return;  // abandoned
    TakeUnitPicture(model, picture);
    TheEditHistory().Enter(history_);
    NotifyModelChanged();
    const bool ownerGone = ownerGiven_ && !owner_;
    EndTask();
    if (done && !ownerGone) done();
}

void UnitTaskRunner::EndTask()
{
    delete progress_;
    busy_ = false;
    emit busyChanged(false);
}

bool StartConnect(QWidget* owner, std::function<void(const ConnectOutcome&)> done)
{
    auto firmTypes = std::make_shared<std::vector<std::uint8_t>>();
    const std::string device = DeviceForPort(CurrentPortNumber()).toStdString();
    return UnitTasks().Start<ConnectOutcome>(
        owner, {QStringLiteral("Connecting to the unit...")},
        [firmTypes, device](Link& link, const SlotProgress&) {
            UnitWorker().DropPending();
            if (!link.IsOpen()) OpenPortAfresh(link, device);
            ConnectOutcome outcome;
            static_cast<ConnectReport&>(outcome) =
                ConnectUnitWithReport(link, [&firmTypes](std::uint8_t type) { firmTypes->push_back(type); });
            if (outcome.result == ConnectResult::HandshakeFailed) {
                outcome.failure = ConnectFailedText(link, outcome);
                link.Close();
            }
            return outcome;
        },
        [firmTypes, done = std::move(done)](const ConnectOutcome& result) {
            for (const std::uint8_t type : *firmTypes) StoreFirmType(type);
            done(result);
        });
}

bool StartDisconnect(QWidget* owner, std::function<void()> done)
{
    return UnitTasks().Start(
        owner, {},
        [](Link& link, const SlotProgress&) {
            DisconnectUnit(link);
            UnitWorker().DropPending();
            link.Close();
        },
        std::move(done));
}
