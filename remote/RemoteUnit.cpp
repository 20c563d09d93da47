#include "RemoteUnit.h"

#include <array>
#include <atomic>
#include <memory>

#include <boost/asio/post.hpp>

#include "CommandError.h"
#include "Trace.h"
#include "UnitSession.h"
#include "model/MemoryImage.h"
#include "unit/UnitCommands.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t NextIdentity()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}
using Image = std::array<std::uint8_t, kImageSize>;

constexpr const char* kNoAnswer = "The unit does not answer.";
constexpr const char* kOtherSetting =
    "The unit holds another setting than the remote knew: a new history starts from it.";

// The edit that writes the fields one message carries, as the message's.
FieldEdit EditOf(const SettingMessage& message)
{
    FieldEdit edit{message.slot, message.band, message.parameterId, {}};
    for (const FieldChange& change : message.changes) {
        const SettingField field = change.field;
        const ScaledSteps& steps = field.channel ? field.channel->steps : field.peq->steps;
        const char* name = field.channel ? field.channel->name : field.peq->name;
        edit.assignments.push_back(
            {name, steps, [field](ParameterModel& model) -> int& { return field.In(model); }, change.after});
    }
    return edit;
}

std::string RecallLabel(const ParameterModel& unit, int slot)
{
    std::string name = unit.memName[slot - 1];
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string memory = "Recall memory " + std::to_string(slot);
    return name.empty() ? memory : memory + " (" + name + ")";
}

}  // namespace

const char* LinkStateName(LinkState state)
{
    switch (state) {
        case LinkState::Connected:
            return "connected";
        case LinkState::NotAnswering:
            return "not answering";
        case LinkState::Reconnecting:
            break;
    }
    return "reconnecting";
}

RemoteUnit::RemoteUnit(boost::asio::io_context& io, std::string device, UnitTiming timing, LineFactory makeLine,
                       std::size_t logLines)
    : identity_(NextIdentity()),
      io_(io),
      device_(std::move(device)),
      timing_(timing),
      retryTimer_(io),
      checkTimer_(io),
      log_(std::make_unique<UnitLog>(io.get_executor(), UnitTraceObserver(device_), logLines)),
      link_(linkModel_, std::move(makeLine)),
      worker_(link_),
      ledger_(linkModel_)
{
    LoadDefaults(linkModel_);
    ledger_ = SettingLedger(linkModel_);
    link_.SetDevice(device_);
    link_.SetTrafficObserver(log_.get());
    // Both run on the worker thread.
    link_.onAnsweringChanged = [this](bool answering) {
        if (answering) return;
        // What is still queued then ends at once, without touching the line.
        linkModel_.connected = 0;
        boost::asio::post(io_, [this] { OnUnitLost(kNoAnswer); });
    };
    worker_.onParameterSent = [this](const Payload& payload, int result) {
        boost::asio::post(io_, [this, payload, result] { OnSent(payload, result); });
    };
}

RemoteUnit::~RemoteUnit()
{
    retryTimer_.cancel();
    checkTimer_.cancel();
}

void RemoteUnit::StartConnecting()
{
    auto attempt = std::make_shared<std::promise<Attempt>>();
    connecting_ = attempt->get_future();
    lastTicket_ = worker_.Post([this, attempt](Link& link) { attempt->set_value(ConnectAttempt(link)); });
}

std::string RemoteUnit::FinishConnecting()
{
    const Attempt attempt = connecting_.get();
    OnAttempt(attempt);
    ScheduleCheck();
    return attempt.outcome.reason;
}

void RemoteUnit::ConnectThen(std::function<void(const ConnectOutcome&)> done)
{
    // The callbacks are moved on to the io thread, never copied: what they
    // hold (a client's session) must end there, not on the worker.
    lastTicket_ = worker_.Post([this, done = std::move(done)](Link& link) mutable {
        const Attempt attempt = ConnectAttempt(link);
        boost::asio::post(io_, [this, attempt, done = std::move(done)] {
            OnAttempt(attempt);
            if (!shuttingDown_) ScheduleCheck();
            done(attempt.outcome);
        });
    });
}

void RemoteUnit::MoveTo(std::string device, std::function<void(const ConnectOutcome&)> done)
{
    retryTimer_.cancel();
    device_ = device;
    SetState(LinkState::Reconnecting, "Moving to " + device + ".");
    lastTicket_ = worker_.Post([this, device = std::move(device), done = std::move(done)](Link& link) mutable {
        if (linkModel_.connected) DisconnectUnit(link);
        link.SetDevice(device);
        const Attempt attempt = ConnectAttempt(link);
        boost::asio::post(io_, [this, attempt, done = std::move(done)] {
            OnAttempt(attempt);
            done(attempt.outcome);
        });
    });
}

void RemoteUnit::Edit(const FieldEdit& edit, Done settled, long gesture)
{
    const ParameterModel before = ledger_.Expected();
    EditUnrecorded(edit, std::move(settled));
    history_.Record(before, ledger_.Expected(), {}, gesture);
    HistoryChanged();
}

void RemoteUnit::EditUnrecorded(const FieldEdit& edit, Done settled)
{
    lastActivity_ = Clock::now();
    worker_.PostParameter(ledger_.Edit(edit, std::move(settled)));
}

void RemoteUnit::Recall(int slot, Done done)
{
    RunOperation([slot](Link& link) { return RecallMemorySlot(link, slot); },
                 [this, slot, done, before = ledger_.Expected()](int result, const ParameterModel& after) {
                     if (result == kResultDone) {
                         const bool changed = ledger_.ReplaceSetting(after);
                         history_.Record(before, ledger_.Expected(), RecallLabel(after, slot));
                         HistoryChanged();
                         if (changed && events.stateReplaced) events.stateReplaced();
                     }
                     done(result);
                 });
}

bool RemoteUnit::Undo(Done settled)
{
    const HistoryStep* step = history_.Undo();
    if (step) Restore(*step, false, std::move(settled));
    return step != nullptr;
}

bool RemoteUnit::Redo(Done settled)
{
    const HistoryStep* step = history_.Redo();
    if (step) Restore(*step, true, std::move(settled));
    return step != nullptr;
}

void RemoteUnit::Restore(const HistoryStep& step, bool forward, Done settled)
{
    ParameterModel target = ledger_.Expected();
    if (forward)
        PutAfter(target, step.changes);
    else
        PutBefore(target, step.changes);
    HistoryChanged();
    SendSetting(target, std::move(settled));
}

void RemoteUnit::KeepAb(AbSide side)
{
    ab_.Keep(side, ledger_.Expected());
    HistoryChanged();
}

bool RemoteUnit::SwitchAb(AbSide side, Done settled)
{
    const std::optional<ParameterModel> target = ab_.SwitchTo(side, ledger_.Expected());
    if (!target) return false;
    ChangeSetting(*target, std::string("Switch to ") + AbSideName(side), std::move(settled));
    return true;
}

void RemoteUnit::ChangeSetting(const ParameterModel& target, const std::string& label, Done settled, long gesture)
{
    history_.Record(ledger_.Expected(), target, label, gesture);
    HistoryChanged();
    SendSetting(target, std::move(settled));
}

void RemoteUnit::SendSetting(const ParameterModel& target, Done settled)
{
    const std::vector<SettingMessage> messages = SettingMessages(ledger_.Expected(), target);
    if (messages.empty()) return settled(kResultDone);
    // Settles once every message has been through, with the first failure if any.
    struct Waiting {
        std::size_t count;
        int result = kResultDone;
        Done settled;
    };
    auto waiting = std::make_shared<Waiting>(Waiting{messages.size(), kResultDone, std::move(settled)});
    lastActivity_ = Clock::now();
    for (const SettingMessage& message : messages)
        worker_.PostParameter(ledger_.Edit(EditOf(message), [waiting](int result) {
            if (result != kResultDone && waiting->result == kResultDone) waiting->result = result;
            if (--waiting->count == 0) waiting->settled(waiting->result);
        }));
}

void RemoteUnit::TakeUnitSetting(const ParameterModel& unit)
{
    const bool other = !SameSetting(ledger_.Expected(), unit);
    if (other && history_.UndoCount() + history_.RedoCount() > 0) {
        history_.Clear();
        HistoryChanged(kOtherSetting);
    }
}

void RemoteUnit::HistoryChanged(const std::string& restarted)
{
    if (events.historyChanged) events.historyChanged(restarted);
}

void RemoteUnit::Store(int slot, const std::string& name, Done done)
{
    // The unit stores the setting the program sends: the one it will hold
    // once the edits queued before the store are through.
    Image image{};
    ModelToImage(ledger_.Expected(), image.data());
    RunOperation(
        [this, slot, name, image](Link& link) {
            ImageToModel(linkModel_, image.data());
            return StoreMemorySlot(link, slot, name);
        },
        [this, done](int result, const ParameterModel& after) {
            ledger_.ReplaceDirectory(after);
            if (events.directoryChanged) events.directoryChanged();
            done(result);
        });
}

void RemoteUnit::Delete(int slot, Done done)
{
    RunOperation(
        [slot](Link& link) {
            const int result = DeleteMemorySlot(link, slot);
            if (result == kResultDone) ReadMemoryDirectory(link);
            return result;
        },
        [this, done](int result, const ParameterModel& after) {
            ledger_.ReplaceDirectory(after);
            if (events.directoryChanged) events.directoryChanged();
            done(result);
        });
}

void RemoteUnit::ReadMemoryFile(std::function<void(UnitMemoryFile)> done)
{
    // Empty memories are filled with the current setting's image.
    Image image{};
    ModelToImage(ledger_.Expected(), image.data());
    auto file = std::make_shared<UnitMemoryFile>();
    RunOperation(
        [this, image, file](Link& link) {
            ImageToModel(linkModel_, image.data());
            *file = ReadMemoryFileFromUnit(link);
            return kResultDone;
        },
        [file, done](int, const ParameterModel&) { done(*file); });
}

void RemoteUnit::LoadMemoryFile(std::vector<std::uint8_t> bytes, std::function<void(LoadFileReport)> done)
{
    auto report = std::make_shared<LoadFileReport>();
    RunOperation(
        [bytes = std::move(bytes), report](Link& link) {
            *report = LoadMemoryFileIntoUnit(link, bytes);
            ReadMemoryDirectory(link);
            return kResultDone;
        },
        [this, report, done](int, const ParameterModel& after) {
            ledger_.ReplaceDirectory(after);
            if (events.directoryChanged) events.directoryChanged();
            done(*report);
        });
}

void RemoteUnit::Reset(Done done)
{
    RunOperation([](Link& link) { return ResetUnit(link); },
                 [this, done, before = ledger_.Expected()](int result, const ParameterModel& after) {
                     // The directory was read back whatever came of the setting's read.
                     ledger_.ReplaceDirectory(after);
                     if (result == kResultDone) {
                         ledger_.ReplaceSetting(after);
                         history_.Record(before, ledger_.Expected(), "Reset");
                         HistoryChanged();
                     }
                     if (events.stateReplaced) events.stateReplaced();
                     done(result);
                 });
}

void RemoteUnit::WriteLogo(const std::string& line1, const std::string& line2, Done done)
{
    RunOperation([line1, line2](Link& link) { return ::WriteLogo(link, line1, line2); },
                 [done](int result, const ParameterModel&) { done(result); });
}

void RemoteUnit::Shutdown(std::function<void()> done)
{
    shuttingDown_ = true;
    retryTimer_.cancel();
    checkTimer_.cancel();
    worker_.Cancel(lastTicket_);
    worker_.Post([this, done = std::move(done)](Link& link) mutable {
        if (linkModel_.connected) DisconnectUnit(link);
        link.Close();
        boost::asio::post(io_, std::move(done));
    });
}

void RemoteUnit::RunOperation(std::function<int(Link&)> job, std::function<void(int, const ParameterModel&)> finish)
{
    ++operationsRunning_;
    lastTicket_ = worker_.Post([this, job = std::move(job), finish = std::move(finish)](Link& link) mutable {
        const int result = job(link);
        boost::asio::post(io_, [this, result, after = linkModel_, finish = std::move(finish)] {
            --operationsRunning_;
            lastActivity_ = Clock::now();
            finish(result, after);
        });
    });
}

void RemoteUnit::OnSent(const Payload& payload, int result)
{
    lastActivity_ = Clock::now();
    const SettingLedger::Passage passage = ledger_.Sent(payload, result);
    if (passage.changedSlot && events.channelChanged) events.channelChanged(*passage.changedSlot);
    Settle(passage.settled, result);
}

void RemoteUnit::OnUnitLost(const std::string& reason)
{
    if (shuttingDown_ || state_ != LinkState::Connected) return;
    SetState(LinkState::NotAnswering, reason);
    Settle(ledger_.DropOutstanding(), kResultNoAnswer);
    ScheduleRetry();
}

void RemoteUnit::ScheduleRetry()
{
    retryTimer_.expires_after(timing_.retry);
    retryTimer_.async_wait([this](const boost::system::error_code& error) {
        if (!error) TryAgain();
    });
}

void RemoteUnit::TryAgain()
{
    if (shuttingDown_) return;
    SetState(LinkState::Reconnecting, reason_);
    lastTicket_ = worker_.Post([this](Link& link) {
        const Attempt attempt = ConnectAttempt(link);
        boost::asio::post(io_, [this, attempt] { OnAttempt(attempt); });
    });
}

// On the worker: the port opened afresh and the connect sequence run.
RemoteUnit::Attempt RemoteUnit::ConnectAttempt(Link& link)
{
    Attempt attempt;
    link.Close();
    linkModel_.connected = 0;
    try {
        if (!link.Open()) throw PortOpenFailure(link);
        attempt.outcome.opened = true;
        const ConnectReport report = ConnectUnitWithReport(link, [](std::uint8_t) {});
        if (report.result != ConnectResult::Connected && linkModel_.connected) DisconnectUnit(link);
        RequireConnected(link, report);
        attempt.outcome.connected = true;
        attempt.unit = linkModel_;
    } catch (const CommandError& error) {
        linkModel_.connected = 0;
        attempt.outcome.reason = error.what();
    }
    return attempt;
}

void RemoteUnit::OnAttempt(const Attempt& attempt)
{
    if (shuttingDown_) return;
    if (!attempt.outcome.connected) {
        SetState(LinkState::Reconnecting, attempt.outcome.reason);
        ScheduleRetry();
        return;
    }
    TakeUnitSetting(attempt.unit);
    ledger_.ReplaceSetting(attempt.unit);
    ledger_.ReplaceDirectory(attempt.unit);
    lastActivity_ = Clock::now();
    SetState(LinkState::Connected, "");
    if (events.stateReplaced) events.stateReplaced();
}

void RemoteUnit::ScheduleCheck()
{
    checkTimer_.expires_after(timing_.check);
    checkTimer_.async_wait([this](const boost::system::error_code& error) {
        if (error) return;
        Check();
        ScheduleCheck();
    });
}

void RemoteUnit::Check()
{
    const bool quiet =
        operationsRunning_ == 0 && ledger_.OutstandingCount() == 0 && Clock::now() - lastActivity_ >= timing_.check;
    if (!Connected() || !quiet) return;
    RunOperation([](Link& link) { return ReadCurrentIntoModel(link); },
                 [this](int result, const ParameterModel& after) {
                     if (result != kResultDone || !Connected()) return;
                     TakeUnitSetting(after);
                     if (ledger_.ReplaceSetting(after) && events.stateReplaced) events.stateReplaced();
                 });
}

void RemoteUnit::SetState(LinkState state, const std::string& reason)
{
    if (state == state_ && reason == reason_) return;
    state_ = state;
    reason_ = reason;
    if (events.linkChanged) events.linkChanged();
}

void RemoteUnit::Settle(const std::vector<SettingLedger::Settled>& settled, int result)
{
    for (const SettingLedger::Settled& callback : settled) callback(result);
}
