// Recognises the unit's answer to one exchange step in the bytes the
// receive thread reads, and lets the sender wait for it.
//
// A sender begins a step with the reply it expects, writes, and waits. The
// receive thread feeds every chunk it reads; once the awaited byte or block
// has arrived the step is complete (a block answer is in the reply buffer
// before the wait ends) and the expected-reply code moves on by one. It has
// no port of its own, so a test or a fuzzer can feed it answers directly.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

inline constexpr int kReplyBufferSize = 500;

// Expected-reply codes.
inline constexpr int kReplyIdle = 0;
inline constexpr int kReplyAny = 1;   // the first byte of any value ends the wait
inline constexpr int kReplyP = 0x50;  // attention acknowledged
inline constexpr int kReplyQ = 0x51;  // frame acknowledged
inline constexpr int kReplyS = 0x53;  // store image block acknowledged
inline constexpr int ReplyBlock(int bytes) { return 256 + bytes; }

class ReplyRecogniser {
public:
    // Starts one exchange step: forgets the bytes collected so far (a late
    // or stray byte must not answer this step), sets the expected reply and
    // marks the answer pending. Called before the step's bytes are written.
    void BeginStep(int expectedReply);

    // Takes `count` (> 0) received bytes: collects them towards the awaited
    // answer, completes the step when it has arrived, and wakes the sender.
    void Feed(const std::uint8_t* chunk, int count);

    // Sleeps until the step's answer is complete (true), or false when the
    // time-out passes, the line has gone away (no answer can come: it
    // returns at once) or the wait is interrupted.
    bool WaitForAnswer(int timeoutMs);

    // Copies the first `count` bytes of the last completed block answer.
    // Feed never writes the buffer while this copies.
    void CopyReply(std::uint8_t* destination, int count);

    // Back to idle once an operation ends, however it ended.
    void SetIdle() { expected_.store(kReplyIdle); }

    // Set when the device went away (a pulled adapter, a unit that hung up);
    // cleared when the port is opened again.
    void SetLineGone(bool gone);

    // While set, every wait ends at once unanswered: a cancelled operation
    // stops at its current step.
    void SetInterrupted(bool interrupted);

    int ExpectedReply() const { return expected_.load(); }
    bool AnswerPending() const { return pending_.load() != 0; }

private:
    static constexpr int kAccumulatorSize = 4096;

    void FeedLocked(const std::uint8_t* chunk, int count);
    void CompleteStep(int code);

    std::atomic<int> expected_{kReplyIdle};
    std::atomic<int> pending_{0};
    // The mutex orders the collected bytes and the reply buffer between the
    // receive thread and the sender.
    std::mutex mutex_;
    std::condition_variable complete_;
    std::uint8_t accumulator_[kAccumulatorSize] = {};
    int accumulated_ = 0;
    std::uint8_t reply_[kReplyBufferSize] = {};
    // Set once the current step has its answer. Bytes that follow belong to
    // no step: they must neither make the answer pending again before the
    // sender has seen it, nor overwrite the reply it is about to copy.
    // BeginStep makes bytes count again.
    bool stepAnswered_ = false;
    bool lineGone_ = false;
    bool interrupted_ = false;
};
