#include "unit/LinkWorker.h"

#include <algorithm>

#include "link/Frame.h"
#include "link/Link.h"
#include "link/ParameterMessages.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

LinkWorker::LinkWorker(Link& link) : link_(link), thread_(&LinkWorker::Loop, this) {}

LinkWorker::~LinkWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    link_.Cancel();
    changed_.notify_all();
    thread_.join();
    link_.Resume();
}

LinkWorker::Ticket LinkWorker::Post(Job job)
{
    Ticket ticket;
    {
        std::lock_guard lock(mutex_);
        ticket = ++lastTicket_;
        queue_.push_back({std::move(job), {}, ticket});
    }
    changed_.notify_all();
    return ticket;
}

void LinkWorker::PostParameter(std::vector<std::uint8_t> payload)
{
    if (payload.empty()) return;
    bool kept = false;
    {
        std::lock_guard lock(mutex_);
        if (!pending_.empty()) {
            KeepPending(std::move(payload));
            kept = true;
        } else {
            const auto sameField = std::find_if(queue_.begin(), queue_.end(), [&](const Work& waiting) {
                return !waiting.job && waiting.payload.front() == payload.front();
            });
            if (sameField != queue_.end()) queue_.erase(sameField);
            queue_.push_back({{}, std::move(payload)});
        }
    }
    if (kept)
        NotePendingCount();
    else
        changed_.notify_all();
}

void LinkWorker::KeepPending(std::vector<std::uint8_t> payload)
{
    const auto sameField = std::find_if(pending_.begin(), pending_.end(), [&](const std::vector<std::uint8_t>& kept) {
        return kept.front() == payload.front();
    });
    if (sameField != pending_.end()) pending_.erase(sameField);
    pending_.push_back(std::move(payload));
}

std::size_t LinkWorker::PendingCount() const
{
    std::lock_guard lock(mutex_);
    return pending_.size();
}

void LinkWorker::DropPending()
{
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) return;
        pending_.clear();
    }
    NotePendingCount();
}

void LinkWorker::KeepUnanswered(std::chrono::milliseconds retryInterval)
{
    std::lock_guard lock(mutex_);
    keepUnanswered_ = true;
    retryInterval_ = retryInterval;
}

void LinkWorker::NotePendingCount()
{
    if (onPendingChanged) onPendingChanged(PendingCount());
}

void LinkWorker::Run(const Job& job)
{
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    Post([&](Link& link) {
        job(link);
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

void LinkWorker::Cancel(Ticket ticket)
{
    std::lock_guard lock(mutex_);
    if (ticket == 0) return;  // parameter messages have no ticket
    if (ticket == running_) {
        link_.Cancel();  // cleared again before the next work starts
        return;
    }
    for (Work& waiting : queue_)
        if (waiting.ticket == ticket) waiting.cancelled = true;
}

void LinkWorker::WaitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

long LinkWorker::ParametersSent() const
{
    std::lock_guard lock(mutex_);
    return parametersSent_;
}

void LinkWorker::Loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto woken = [this] { return stopping_ || !queue_.empty(); };
        const bool wokenByWork =
            pending_.empty() ? (changed_.wait(lock, woken), true) : changed_.wait_for(lock, retryInterval_, woken);
        if (stopping_) return;
        if (!wokenByWork) {
            busy_ = true;
            lock.unlock();
            Resend();
            lock.lock();
            link_.Resume();
            busy_ = false;
            changed_.notify_all();
            continue;
        }
        Work work = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        running_ = work.ticket;
        if (work.cancelled) link_.Cancel();
        lock.unlock();
        Execute(work);
        lock.lock();
        link_.Resume();
        busy_ = false;
        running_ = 0;
        if (!work.job) ++parametersSent_;
        changed_.notify_all();
    }
}

void LinkWorker::Execute(Work& work)
{
    if (work.job) {
        work.job(link_);
        return;
    }
    bool keep = false;
    {
        // Behind messages still pending, it waits its turn with them.
        std::lock_guard lock(mutex_);
        keep = keepUnanswered_;
        if (!pending_.empty()) {
            KeepPending(std::move(work.payload));
            work.payload.clear();
        }
    }
    if (work.payload.empty()) {
        NotePendingCount();
        return;
    }
    const std::vector<std::uint8_t> frame = FrameOf(work.payload);
    const int result = SendFramed(link_, frame.data(), static_cast<int>(frame.size()));
    if (keep && result == kResultNoAnswer && !link_.Cancelled()) {
        {
            std::lock_guard lock(mutex_);
            KeepPending(work.payload);
        }
        NotePendingCount();
    }
    if (onParameterSent) onParameterSent(work.payload, result);
}

void LinkWorker::Resend()
{
    ResendReport report;
    bool allSent = false;
    for (;;) {
        std::vector<std::uint8_t> next;
        {
            std::lock_guard lock(mutex_);
            allSent = pending_.empty();
            if (allSent) break;
            next = pending_.front();
        }
        const std::vector<std::uint8_t> frame = FrameOf(next);
        const int result = SendFramed(link_, frame.data(), static_cast<int>(frame.size()));
        // Not connected: the program has left the unit, and the messages with it.
        if (result == kResultNotConnected) DropPending();
        if (result != kResultDone) break;
        {
            std::lock_guard lock(mutex_);
            const auto sent = std::find(pending_.begin(), pending_.end(), next);
            if (sent != pending_.end()) pending_.erase(sent);
        }
        NotePendingCount();
        report.sent.push_back(std::move(next));
    }
    if (report.sent.empty()) return;
    if (allSent) ConfirmResent(report);
    if (onResent) onResent(report);
}

// Only the last message of each field counts: an earlier one was meant to be replaced.
void LinkWorker::ConfirmResent(ResendReport& report)
{
    if (ReadCurrentIntoModel(link_) != kResultDone) return;
    report.confirmed = true;
    report.unitSetting = link_.Model();
    std::vector<std::uint8_t> fieldsSeen;
    for (auto sent = report.sent.rbegin(); sent != report.sent.rend(); ++sent) {
        if (std::find(fieldsSeen.begin(), fieldsSeen.end(), sent->front()) != fieldsSeen.end()) continue;
        fieldsSeen.push_back(sent->front());
        const std::optional<ParameterReading> reading = ReadParameterPayload(*sent);
        if (!reading) continue;
        ParameterModel unit = report.unitSetting;
        unit.curChannel = reading->slot;
        unit.curBand = reading->band;
        std::vector<std::uint8_t> holds = ParameterPayload(unit, reading->id);
        if (holds != *sent) report.differing.push_back(std::move(holds));
    }
}
