// The live analysis of a system from what plays through it, as the
// recording comes in: the delay found and followed (DelayFinder,
// DelayTracker), the transfer function and coherence with the reference
// delayed by it (LiveTransfer), and, against a stored trace, the bands that
// left it (TraceComparison, TraceAlarms). Until the delay is found nothing
// is averaged: a trace of a misaligned reference would be a false one.
// When the delay moves, the averages start again on the new one.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "DelayFinder.h"
#include "LiveTransfer.h"
#include "TraceAlarms.h"

// How often the delay is looked for, in stream time.
inline constexpr double kDelayLookSeconds = 0.25;

class LiveAnalysis {
public:
    // Throws std::invalid_argument as LiveTransfer does.
    LiveAnalysis(double rate, double averageSeconds);

    void Add(std::span<const float> reference, std::span<const float> measured);

    // The trace's points (fixed), for a stored trace to be given at.
    std::vector<double> Points() const { return points_; }
    // The stored trace's level at each of Points(); throws
    // std::invalid_argument for another count. Without one, no alarms.
    void SetStored(std::vector<double> storedDb);

    // Seconds of stream analysed.
    double Seconds() const { return static_cast<double>(samples_) / rate_; }
    // The delay in use, once found.
    std::optional<double> Delay() const { return tracker_.Current(); }
    // The stream times at which the delay in use was set (found, then each change).
    const std::vector<double>& DelayChanges() const { return delayChanges_; }

    LiveTrace Trace() const { return transfer_.Trace(); }
    // The alarms standing now in `trace` (this analysis' Trace(), taken
    // once a look); none without a stored trace or a delay.
    std::vector<TraceAlarm> Alarms(const LiveTrace& trace);
    // How `trace` and the stored trace differ over all (LevelOffset); none without a stored trace.
    std::optional<double> StoredOffset(const LiveTrace& trace) const;

private:
    void LookForDelay();

    double rate_;
    long long samples_ = 0;
    long long nextDelayLook_ = 0;
    DelayFinder finder_;
    DelayTracker tracker_;
    LiveTransfer transfer_;
    std::vector<double> points_;
    std::vector<double> stored_;
    TraceAlarms alarms_;
    std::vector<double> delayChanges_;
};
