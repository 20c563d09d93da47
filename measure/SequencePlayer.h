// The audio thread's part of a measurement: silence until asked, then the
// sweep on the inputs of the unit an output is measured with, and the
// microphone's channel (and the loopback's) of every frame recorded. Frames
// played and recorded are counted on the stream's one clock, so a sweep
// played at frame k comes back at k + the stream's latency.
//
// The control thread asks for a sweep and waits for it; the audio thread
// never blocks nor allocates: what it records goes into room set aside at
// the start.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "MeasuredOutput.h"

// Of the channels the stream records (all the device has).
struct RecordChannels {
    int microphone = 0;           // 0-based
    std::optional<int> loopback;  // 0-based
    std::size_t stride = 1;       // channels in a recorded frame: all the stream records
};

class SequencePlayer {
public:
    SequencePlayer(std::vector<float> sweep, RecordChannels channels, std::size_t capacityFrames);
    // Once the stream says how many it records, before it starts.
    void SetRecordedChannels(int channels) { channels_.stride = static_cast<std::size_t>(channels); }

    // The audio thread's callbacks (two play channels: the unit's inputs).
    void OnPlay(std::span<float> play);
    void OnRecord(std::span<const float> record);

    // Starts the sweep with the first block played at or after frame
    // `notBefore`; the previous one has ended.
    void Play(const OutputRouting& routing, std::size_t notBefore);
    // Frames played (handed to the stream) so far. The playback runs ahead
    // of the recording by the stream's margin, and a recording that comes
    // in large pieces may run ahead of it: the two counts are not one.
    std::size_t Played() const { return played_; }
    // The frame played where the sweep asked for began, once it has.
    std::optional<std::size_t> SweepStart() const;
    bool SweepEnded() const { return state_ == State::Ended; }

    // Frames recorded; recording stops, and Full() holds, when the room set
    // aside is used up.
    std::size_t Frames() const { return frames_; }
    bool Full() const { return frames_ == capacity_; }
    // The microphone's peak since the last call, in dBFS.
    double TakePeakDbfs();

    // What is recorded so far: while the stream runs, the audio thread
    // writes only past it.
    std::span<const float> Microphone() const { return {microphone_.data(), frames_}; }
    std::span<const float> Loopback() const;

private:
    enum class State { Idle, Asked, Playing, Ended };

    std::vector<float> sweep_;
    RecordChannels channels_;
    std::size_t capacity_;
    std::vector<float> microphone_;
    std::vector<float> loopback_;
    std::atomic<State> state_{State::Idle};
    OutputRouting routing_;  // written before state_ becomes Asked
    std::size_t position_ = 0;  // in the sweep; the audio thread's
    std::atomic<std::size_t> played_{0};  // frames; written by the audio thread
    std::size_t notBefore_ = 0;           // written before state_ becomes Asked
    std::atomic<std::size_t> start_{0};
    std::atomic<std::size_t> frames_{0};
    std::atomic<float> peak_{0.0f};
};
