// Runs every exchange of a link on a thread of its own, so that whoever
// posts the work (a window, a network remote) is never held up by the unit,
// whatever the unit or the cable does.
//
// Work runs in the order it was posted. Parameter messages are coalesced:
// while a message for a field waits unsent, a newer one for the same field
// replaces it and waits at the end of the queue, so the latest value wins, no
// stale value is sent late, and what is sent keeps the order in which it was
// posted. (Replacing in place would let a newer value overtake messages
// posted before it; the mute message carries the gain as well, so a newer gain
// sent ahead of an older mute would leave the unit on the older gain.) While a job
// runs, only that job's thread touches the link and its model; the poster
// keeps a model of its own and hands the job what it needs.
//
// Where the poster asks for it (KeepUnanswered), a message the unit did not
// answer is not lost: it is kept as pending (again the latest of each field,
// in the order posted), and so is every message posted while some are
// pending, since the unit would let each run out its time-out. While
// messages are pending and nothing else waits, the worker tries them again
// every retry interval; once all have reached the unit, it reads the unit's
// current setting back to confirm them. Otherwise an unanswered message is
// only reported (onParameterSent), as every message is.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "model/Model.h"

class Link;

// The end of a resend of pending messages.
struct ResendReport {
    std::vector<std::vector<std::uint8_t>> sent;  // what reached the unit, in order
    bool confirmed = false;                       // the read-back answered
    // For each field whose read-back differs from its last message sent: the
    // message the unit's setting gives instead.
    std::vector<std::vector<std::uint8_t>> differing;
    ParameterModel unitSetting{};  // the read-back, when confirmed
};

class LinkWorker {
public:
    using Job = std::function<void(Link&)>;
    // Called on the worker thread once a parameter message has been sent:
    // the payload and the unit command's result (0 done, 1 not connected, 3 no answer).
    using SentCallback = std::function<void(const std::vector<std::uint8_t>& payload, int result)>;

    explicit LinkWorker(Link& link);
    // Cancels the job under way, drops what waits and joins the thread.
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    using Ticket = long;

    // Queues an operation; the ticket names it to Cancel.
    Ticket Post(Job job);
    // Queues the message with this payload (not yet framed). Messages are
    // the same field when their payloads start with the same code byte; a
    // newer one replaces a waiting one.
    void PostParameter(std::vector<std::uint8_t> payload);
    // Runs the job on the worker thread and waits for it (start-up, port
    // changes, tests): it runs after what was queued before it.
    void Run(const Job& job);

    // Cancels the operation: under way, it ends at its current step (the
    // link's wait ends at once and every later step fails without touching
    // the line); still queued, it runs cancelled and so ends at once. Either
    // way it still runs to its end, so its caller always hears back. Work
    // posted after it starts normally; an operation that has ended is left alone.
    void Cancel(Ticket ticket);

    // Blocks until nothing is queued or running.
    void WaitIdle();

    // How many messages have gone to the link (coalesced ones not counted).
    long ParametersSent() const;

    SentCallback onParameterSent;

    // The messages kept until the unit answers them.
    std::size_t PendingCount() const;
    // Forgets them (a connect or disconnect starts from the unit's own setting).
    void DropPending();
    // From now on, unanswered messages are kept and tried again at this
    // interval (from the next wait on). Kept messages are told through
    // onPendingChanged and onResent; one kept without being sent is not
    // reported to onParameterSent.
    void KeepUnanswered(std::chrono::milliseconds retryInterval);
    // Called whenever the pending count changes (on the thread that changed
    // it), and on the worker thread after each resend that sent something.
    std::function<void(std::size_t pending)> onPendingChanged;
    std::function<void(const ResendReport&)> onResent;

private:
    struct Work {
        Job job;                            // an operation, or empty for a parameter message
        std::vector<std::uint8_t> payload;  // the parameter message
        Ticket ticket = 0;
        bool cancelled = false;
    };

    void Loop();
    void Execute(Work& work);
    // Under the lock: the payload replaces a pending one of its field, at the end.
    void KeepPending(std::vector<std::uint8_t> payload);
    void NotePendingCount();
    void Resend();
    void ConfirmResent(ResendReport& report);

    Link& link_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Work> queue_;
    bool busy_ = false;
    Ticket running_ = 0;  // the operation under way, 0 for none
    Ticket lastTicket_ = 0;
    bool stopping_ = false;
    long parametersSent_ = 0;
    std::deque<std::vector<std::uint8_t>> pending_;
    bool keepUnanswered_ = false;
    std::chrono::milliseconds retryInterval_{0};
    std::thread thread_;
};
