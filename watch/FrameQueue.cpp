#include "FrameQueue.h"

#include <algorithm>

void FrameQueue::Push(std::span<const float> samples)
{
    const std::size_t written = written_.load(std::memory_order_relaxed);
    const std::size_t room = ring_.size() - (written - read_.load(std::memory_order_acquire));
    const std::size_t take = std::min(room, samples.size()) / channels_ * channels_;
    for (std::size_t i = 0; i < take; ++i) ring_[(written + i) % ring_.size()] = samples[i];
    dropped_.fetch_add((samples.size() - take) / channels_, std::memory_order_relaxed);
    written_.store(written + take, std::memory_order_release);
}

void FrameQueue::TakeInto(std::vector<float>& into)
{
    const std::size_t read = read_.load(std::memory_order_relaxed);
    const std::size_t written = written_.load(std::memory_order_acquire);
    for (std::size_t at = read; at < written; ++at) into.push_back(ring_[at % ring_.size()]);
    read_.store(written, std::memory_order_release);
}
