// The unit as the server holds it: the one link to it and the worker that
// runs every exchange, the setting ledger, and the state of the link. Edits
// and operations from every client go through here, in the order they come.
//
// When the unit stops answering (or its line goes away) the link is given
// up, and the server tries to connect again every retry interval until the
// unit answers, then reads its directory and setting afresh. While the
// line is quiet the setting is read back every check interval, so a unit
// that has gone silent is noticed and a change made at the unit is seen.
//
// Everything but the worker's own jobs runs on the io context's one thread;
// the worker hands its results back there.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "ServeOptions.h"
#include "SettingLedger.h"
#include "UnitLog.h"
#include "history/AbCompare.h"
#include "history/SettingHistory.h"
#include "link/Link.h"
#include "model/Model.h"
#include "unit/LinkWorker.h"
#include "unit/UnitOperations.h"

enum class LinkState { Connected, NotAnswering, Reconnecting };

// What changed, for the announcements. Called on the io thread.
struct UnitEvents {
    std::function<void(int slot)> channelChanged;  // the acknowledged setting of one channel
    std::function<void()> stateReplaced;           // setting and directory read afresh, link connected
    std::function<void()> directoryChanged;
    std::function<void()> linkChanged;
    // The history's steps, or where the setting stands among them, changed;
    // `restarted` says why a new history started ("" when none did).
    std::function<void(const std::string& restarted)> historyChanged;
};

// How a connect sequence came out: the unit connected (reason ""), or
// why not, and whether the port opened at all.
struct ConnectOutcome {
    bool connected = false;
    bool opened = false;
    std::string reason;
};

class RemoteUnit {
public:
    // `makeLine` gives the serial line (a device's by default); the log
    // keeps the latest `logLines` lines of the link's traffic.
    RemoteUnit(boost::asio::io_context& io, std::string device, UnitTiming timing,
               LineFactory makeLine = MakeSerialLine, std::size_t logLines = UnitLog::kDefaultCapacity);
    ~RemoteUnit();
    RemoteUnit(const RemoteUnit&) = delete;
    RemoteUnit& operator=(const RemoteUnit&) = delete;

    // Opens the port and runs the connect sequence in two halves, so that
    // several units connect at once: the first starts it on the worker, the
    // second waits for it (both before the io context runs) and starts the
    // checks. A unit that could not be reached is tried again every retry
    // interval; the second gives why it could not ("" when it is connected).
    void StartConnecting();
    std::string FinishConnecting();
    // The same while the io context runs (a unit added while serving):
    // `done` runs on the io thread once the sequence ended, the checks started.
    void ConnectThen(std::function<void(const ConnectOutcome&)> done);
    // The unit moved to another port: the link leaves the present one (the
    // disconnect sent if connected) and connects there; `done` as above.
    // Until the unit answers there, it is tried again every retry interval.
    void MoveTo(std::string device, std::function<void(const ConnectOutcome&)> done);

    UnitEvents events;

    LinkState State() const { return state_; }
    bool Connected() const { return state_ == LinkState::Connected; }
    // Which unit this is, for what is kept for it: never the same for two
    // units of one process, even where one is made where another went.
    std::uint64_t Identity() const { return identity_; }
    // Why the unit is not connected ("" while it is).
    const std::string& Reason() const { return reason_; }
    const std::string& Device() const { return device_; }
    // The link's traffic, decoded.
    UnitLog& Log() { return *log_; }
    // The setting and directory the unit acknowledged.
    const ParameterModel& Unit() const { return ledger_.Acknowledged(); }
    // The setting the unit will hold once the edits sent so far are through.
    const ParameterModel& Expected() const { return ledger_.Expected(); }

    // The callbacks run on the io thread with the unit command's result
    // (0 done, 1 not connected, 3 no answer). Callers check Connected() first.
    using Done = std::function<void(int result)>;
    // Settles when the unit acknowledged this value or a later one of the
    // field. The change is a step of the history; the edits of one gesture
    // (a client's drag, the same id) are one step.
    void Edit(const FieldEdit& edit, Done settled, long gesture = SettingHistory::kNoGesture);
    // The same outside the history: a measurement's mutes, which it puts
    // back itself (an undo must not bring a sweep's mute back).
    void EditUnrecorded(const FieldEdit& edit, Done settled);
    // A recall is one step of the history.
    void Recall(int slot, Done done);
    void Store(int slot, const std::string& name, Done done);
    void Delete(int slot, Done done);
    void ReadMemoryFile(std::function<void(UnitMemoryFile)> done);
    void LoadMemoryFile(std::vector<std::uint8_t> bytes, std::function<void(LoadFileReport)> done);
    // The service functions. A reset brings the setting and the memories
    // back to the factory's and reads them back; it is one step of the
    // history ("Reset"), which an undo takes back for the setting (not the
    // memories). The logo's two lines go to the unit's display.
    void Reset(Done done);
    void WriteLogo(const std::string& line1, const std::string& line2, Done done);

    // The history of the setting's changes, one for every client.
    const SettingHistory& History() const { return history_; }
    // Each sends the fields of the step that differ from the setting the
    // unit is to hold, levels down first, and settles once the unit has
    // acknowledged them all. False (and nothing sent) when there is no step.
    bool Undo(Done settled);
    bool Redo(Done settled);

    // The setting the unit is to hold taken to `target` as one step of the
    // history named `label`: the fields that differ are sent, one message
    // for each message that carries any (levels down first), and it settles
    // as Undo does. The changes of one `gesture` (a tuning pass and its
    // second pass) are one step.
    void ChangeSetting(const ParameterModel& target, const std::string& label, Done settled,
                       long gesture = SettingHistory::kNoGesture);

    // A and B, one pair for every client: the setting the unit is to hold
    // kept as either; a switch sends the fields that differ from the kept
    // setting (levels down first), settles as Undo does and is one step of
    // the history. False (and nothing sent) while the side keeps nothing.
    void KeepAb(AbSide side);
    bool SwitchAb(AbSide side, Done settled);
    const AbCompare& Ab() const { return ab_; }
    // Whether the setting the unit is to hold has drifted from the active side.
    bool AbDrifted() const { return ab_.Drifted(ledger_.Expected()); }

    // Ends the checks and retries, sends the disconnect and closes the port;
    // `done` runs on the io thread afterwards.
    void Shutdown(std::function<void()> done);

private:
    const std::uint64_t identity_;
    struct Attempt {
        ConnectOutcome outcome;
        ParameterModel unit{};
    };

    // Runs the job on the worker, then `finish` on the io thread with the
    // job's result and the link model as the job left it.
    void RunOperation(std::function<int(Link&)> job, std::function<void(int, const ParameterModel&)> finish);
    void OnSent(const Payload& payload, int result);
    void OnUnitLost(const std::string& reason);
    void ScheduleRetry();
    void TryAgain();
    Attempt ConnectAttempt(Link& link);
    void OnAttempt(const Attempt& attempt);
    void ScheduleCheck();
    void Check();
    void SetState(LinkState state, const std::string& reason);
    static void Settle(const std::vector<SettingLedger::Settled>& settled, int result);
    void Restore(const HistoryStep& step, bool forward, Done settled);
    // Sends the fields in which `target` differs from the setting the unit
    // is to hold; settles once the unit acknowledged them all.
    void SendSetting(const ParameterModel& target, Done settled);
    // The unit's setting read afresh: a setting other than the one expected
    // ends the history that led to it.
    void TakeUnitSetting(const ParameterModel& unit);
    void HistoryChanged(const std::string& restarted = {});

    boost::asio::io_context& io_;
    std::string device_;
    UnitTiming timing_;
    boost::asio::steady_timer retryTimer_;
    boost::asio::steady_timer checkTimer_;

    // The link, its model and the worker: the model is touched only by
    // the worker's jobs. The log (with the --trace) outlives the link that feeds it.
    ParameterModel linkModel_{};
    std::unique_ptr<UnitLog> log_;
    Link link_;
    LinkWorker worker_;

    SettingLedger ledger_;
    SettingHistory history_;
    AbCompare ab_;
    LinkState state_ = LinkState::Reconnecting;
    std::string reason_ = "Not connected yet.";
    int operationsRunning_ = 0;
    LinkWorker::Ticket lastTicket_ = 0;
    std::chrono::steady_clock::time_point lastActivity_;
    bool shuttingDown_ = false;
    std::future<Attempt> connecting_;
};

// "connected", "not answering", "reconnecting".
const char* LinkStateName(LinkState state);
