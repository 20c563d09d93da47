#include "link/LinkTraffic.h"

void TrafficTap::Attach(TrafficObserver* observer)
{
    std::lock_guard lock(mutex_);
    observer_.store(observer, std::memory_order_release);
}

void TrafficTap::Deliver(TrafficKind kind, std::span<const std::uint8_t> bytes, int expectedReply, int waitedMs,
                         std::string text)
{
    // Stamped under the lock, so the time stamps rise in the order of the calls.
    std::lock_guard lock(mutex_);
    TrafficObserver* observer = observer_.load(std::memory_order_acquire);
    if (!observer) return;
    const TrafficEvent event{
        kind, std::chrono::steady_clock::now(), {bytes.begin(), bytes.end()}, expectedReply, waitedMs, std::move(text)};
    observer->OnTraffic(event);
}
