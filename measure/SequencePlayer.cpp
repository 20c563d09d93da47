#include "SequencePlayer.h"

#include <algorithm>
#include <cmath>

#include "Levels.h"

SequencePlayer::SequencePlayer(std::vector<float> sweep, RecordChannels channels, std::size_t capacityFrames)
    : sweep_(std::move(sweep)),
      channels_(channels),
      capacity_(capacityFrames),
      microphone_(capacityFrames),
      loopback_(channels.loopback ? capacityFrames : 0)
{
}

void SequencePlayer::OnPlay(std::span<float> play)
{
    const std::size_t frames = play.size() / 2;
    std::size_t i = 0;
    if (state_ == State::Asked && played_ >= notBefore_) {
        position_ = 0;
        start_ = played_.load();
        state_ = State::Playing;
    }
    if (state_ == State::Playing) {
        for (; i < frames && position_ < sweep_.size(); ++i, ++position_) {
            play[2 * i] = routing_.input1 ? sweep_[position_] : 0.0f;
            play[2 * i + 1] = routing_.input2 ? sweep_[position_] : 0.0f;
        }
        if (position_ == sweep_.size()) state_ = State::Ended;
    }
    std::fill(play.begin() + static_cast<std::ptrdiff_t>(2 * i), play.end(), 0.0f);
    played_ += frames;
}

void SequencePlayer::OnRecord(std::span<const float> record)
{
    if (record.empty()) return;
    const std::size_t stride = channels_.stride;
    const std::size_t frames = record.size() / stride;
    const std::size_t at = frames_;
    const std::size_t kept = std::min(frames, capacity_ - at);
    float peak = 0.0f;
    for (std::size_t i = 0; i < kept; ++i) {
        const float sample = record[i * stride + static_cast<std::size_t>(channels_.microphone)];
        microphone_[at + i] = sample;
        peak = std::max(peak, std::abs(sample));
        if (channels_.loopback) loopback_[at + i] = record[i * stride + static_cast<std::size_t>(*channels_.loopback)];
    }
    // The control thread takes the peak (and zeroes it) at any moment.
    float held = peak_;
    while (held < peak && !peak_.compare_exchange_weak(held, peak)) {
    }
    frames_ = at + kept;
}

void SequencePlayer::Play(const OutputRouting& routing, std::size_t notBefore)
{
    routing_ = routing;
    notBefore_ = notBefore;
    state_ = State::Asked;
}

std::optional<std::size_t> SequencePlayer::SweepStart() const
{
    const State state = state_;
    if (state == State::Playing || state == State::Ended) return start_.load();
    return std::nullopt;
}

double SequencePlayer::TakePeakDbfs()
{
    const float peak = peak_.exchange(0.0f);
    return peak > 0.0f ? 20.0 * std::log10(peak) : kSilenceDbfs;
}

std::span<const float> SequencePlayer::Loopback() const
{
    if (!channels_.loopback) return {};
    return {loopback_.data(), frames_.load()};
}
