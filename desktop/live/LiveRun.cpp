#include "live/LiveRun.h"

#include <algorithm>
#include <chrono>

LiveRun::LiveRun(const WatchSettings& settings) : watch_(settings)
{
    watch_.Start();
    thread_ = std::thread([this] { Loop(); });
}

LiveRun::~LiveRun()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void LiveRun::SetStored(const std::optional<LevelCurve>& stored)
{
    const std::lock_guard lock(mutex_);
    storedToSet_ = stored;
}

bool LiveRun::AwaitNextLook(std::chrono::steady_clock::time_point due)
{
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, due, [this] { return stopping_; });
    if (stopping_) return false;
    // The watch is only touched on this thread, between its looks.
    if (storedToSet_) {
        watch_.SetStored(*storedToSet_);
        storedToSet_.reset();
    }
    return true;
}

void LiveRun::Loop()
{
    // Due times on a fixed beat: a slow look does not slow the ones after it.
    auto due = std::chrono::steady_clock::now();
    while (AwaitNextLook(due += std::chrono::milliseconds(kLookEveryMs))) {
        try {
            emit looked(watch_.Look());
        } catch (const AudioError& error) {
            emit failed(QString::fromStdString(error.what()));
            return;
        }
        // After a look longer than a beat, the next one follows at once, not a burst of them.
        due = std::max(due, std::chrono::steady_clock::now() - std::chrono::milliseconds(kLookEveryMs));
    }
}
