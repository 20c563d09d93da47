// Recorded frames handed from the sound stream's thread to the analysis:
// one writer (the stream, which must never wait) and one reader. When the
// reader falls behind by the whole room, the frames that do not fit are
// dropped whole (the channels stay in step) and counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

class FrameQueue {
public:
    FrameQueue(std::size_t frames, std::size_t channels) : channels_(channels), ring_(frames * channels) {}

    // The writer's side (interleaved frames): never blocks.
    void Push(std::span<const float> samples);
    // The reader's side: everything written since, appended to `into`.
    void TakeInto(std::vector<float>& into);
    // Frames dropped so far.
    std::size_t Dropped() const { return dropped_.load(); }

private:
    std::size_t channels_;
    std::vector<float> ring_;
    std::atomic<std::size_t> written_{0};  // samples ever written
    std::atomic<std::size_t> read_{0};     // samples ever read
    std::atomic<std::size_t> dropped_{0};
};
