#include "unit/LinkWorker.h"

#include <algorithm>

#include "link/Frame.h"
#include "link/Link.h"
#include "unit/UnitCommands.h"

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
    {
        std::lock_guard lock(mutex_);
        const auto sameField = std::find_if(queue_.begin(), queue_.end(), [&](const Work& waiting) {
            return !waiting.job && waiting.payload.front() == payload.front();
        });
        if (sameField != queue_.end()) queue_.erase(sameField);
        queue_.push_back({{}, std::move(payload)});
    }
    changed_.notify_all();
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
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
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
    const std::vector<std::uint8_t> frame = FrameOf(work.payload);
    const int result = SendFramed(link_, frame.data(), static_cast<int>(frame.size()));
    if (onParameterSent) onParameterSent(work.payload, result);
}
