#include "link/ReplyRecogniser.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr int kFirstByteCode = 80;    // codes from here on await one byte value
constexpr int kFirstBlockCode = 257;  // 257..511 await a block of code - 256 bytes
constexpr int kLastBlockCode = 511;

}  // namespace

void ReplyRecogniser::BeginStep(int expectedReply)
{
    std::lock_guard lock(mutex_);
    accumulated_ = 0;
    stepAnswered_ = false;
    expected_.store(expectedReply);
    pending_.store(1);
}

void ReplyRecogniser::Feed(const std::uint8_t* chunk, int count)
{
    bool complete;
    {
        std::lock_guard lock(mutex_);
        FeedLocked(chunk, count);
        complete = pending_.load() == 0;
    }
    if (complete) complete_.notify_all();
}

void ReplyRecogniser::CompleteStep(int code)
{
    stepAnswered_ = true;
    expected_.store(code + 1);
    accumulated_ = 0;
    pending_.store(0, std::memory_order_release);
}

void ReplyRecogniser::FeedLocked(const std::uint8_t* chunk, int count)
{
    if (stepAnswered_ && pending_.load() == 0) return;
    const int room = kAccumulatorSize - accumulated_;
    const int kept = std::min(count, room);  // bytes beyond the accumulator are dropped
    std::memcpy(accumulator_ + accumulated_, chunk, static_cast<std::size_t>(kept));
    accumulated_ += kept;

    const int code = expected_.load();
    if (code >= kFirstBlockCode && code <= kLastBlockCode) {
        pending_.store(1);
        if (accumulated_ < code - 256) return;
        std::memcpy(reply_, accumulator_, static_cast<std::size_t>(std::min(accumulated_, kReplyBufferSize)));
        CompleteStep(code);
    } else if (code >= kFirstByteCode) {
        pending_.store(1);
        // A code of 256 or more never equals a byte, so it never matches.
        if (std::find(accumulator_, accumulator_ + accumulated_, code) != accumulator_ + accumulated_)
            CompleteStep(code);
    } else {
        // Idle, or any answer awaited: the bytes end the wait and are not kept.
        accumulated_ = 0;
        pending_.store(0, std::memory_order_release);
    }
}

bool ReplyRecogniser::WaitForAnswer(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    complete_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return pending_.load(std::memory_order_acquire) == 0 || lineGone_ || interrupted_;
    });
    return pending_.load(std::memory_order_acquire) == 0;
}

void ReplyRecogniser::CopyReply(std::uint8_t* destination, int count)
{
    std::lock_guard lock(mutex_);
    std::memcpy(destination, reply_, static_cast<std::size_t>(std::clamp(count, 0, kReplyBufferSize)));
}

void ReplyRecogniser::SetLineGone(bool gone)
{
    {
        std::lock_guard lock(mutex_);
        lineGone_ = gone;
    }
    if (gone) complete_.notify_all();
}

void ReplyRecogniser::SetInterrupted(bool interrupted)
{
    {
        std::lock_guard lock(mutex_);
        interrupted_ = interrupted;
    }
    if (interrupted) complete_.notify_all();
}
