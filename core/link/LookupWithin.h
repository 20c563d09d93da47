// A host name's lookup within a time-out. The system's lookup (getaddrinfo)
// takes none: a name service that does not answer holds the caller for as
// long as the resolver's own retries last. So the lookup runs on a helper
// thread of its own, and the caller waits for it only until the time-out;
// a lookup given up on finishes on its own and frees what it finds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What a lookup given up on is reported as.
inline constexpr const char* kNoNameServiceAnswer = "the name service did not answer in time";

// `lookup`'s result, or nullopt when it took longer than `timeout`; then
// `discard` is given the result once it comes.
template <typename Result>
std::optional<Result> LookupWithin(std::function<Result()> lookup, std::function<void(Result&)> discard,
                                   std::chrono::milliseconds timeout)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, lookup = std::move(lookup), discard = std::move(discard)] {
        Result result = lookup();
        const std::lock_guard lock(shared->mutex);
        if (shared->abandoned) return discard(result);
        shared->result = std::move(result);
        shared->done.notify_one();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, timeout, [&shared] { return shared->result.has_value(); })) {
        shared->abandoned = true;
        return std::nullopt;
    }
    return std::move(shared->result);
}
