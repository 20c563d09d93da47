// Watching the system during the show: two inputs of the sound card on one
// clock, the reference (the console's feed to the unit) and the
// microphone, analysed as they come (LiveAnalysis), against a stored trace
// where one is given, with the edits made through Quenbar marked on the
// time line so that an alarm can name the one before it. The stream plays
// nothing but silence: the programme is the show's.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DuplexStream.h"
#include "FrameQueue.h"
#include "LiveAnalysis.h"
#include "WatchSettings.h"
#include "WatchTexts.h"
#include "tuning/LevelCurveFile.h"

struct WatchAlarm {
    TraceAlarm alarm;
    std::string text;
};

// Whether two looks' alarms stand at the same bands and of the same kinds
// (their figures aside): a face shows a change of them at once, not at its
// next regular line.
bool SameAlarms(const std::vector<WatchAlarm>& a, const std::vector<WatchAlarm>& b);

struct WatchLook {
    double seconds = 0.0;  // of stream analysed
    std::optional<double> delaySeconds;
    LiveTrace trace;
    double coherentShare = 0.0;
    std::vector<WatchAlarm> alarms;
    std::vector<WatchEdit> edits;  // every edit marked, in order
    std::optional<double> storedOffsetDb;  // the live trace less the stored one over all; none without one
};

// A stored trace's level at each of `points` (on the octave scale between
// its own points), NaN beyond its ends: a kept trace holds its coherent
// points only, and what lies outside them is not known.
std::vector<double> StoredLevels(const LevelCurve& stored, const std::vector<double>& points);

class LiveWatch {
public:
    // Throws std::invalid_argument with the words of the settings' fault, AudioError
    // for a device that cannot be had or has too few channels.
    explicit LiveWatch(const WatchSettings& settings, const SoundSystem& system = MachineSoundSystem());
    ~LiveWatch();

    // Against this trace from now on (a measurement, a trace kept before:
    // its level taken between its points on the octave scale); nothing: no
    // comparison.
    void SetStored(const std::optional<LevelCurve>& stored);
    // Edits are marked by a face that makes them: from then on an alarm
    // without an edit before it is one the system made by itself. Safe
    // beside Look on another thread; gives the mark at its stream time.
    WatchEdit MarkEdit(std::string what);

    // The trace's points (fixed): a stored trace is compared at them.
    std::vector<double> Points() const { return analysis_.Points(); }

    // Starts the stream; throws AudioError.
    void Start();
    // Analyses what came since the last look. Throws AudioError when the
    // stream failed or handed over nothing for kStreamStalledSeconds.
    WatchLook Look();

private:
    void TakeRecorded();

    WatchSettings settings_;
    LiveAnalysis analysis_;
    std::unique_ptr<FrameQueue> queue_;
    std::unique_ptr<DuplexStream> stream_;
    std::size_t channels_ = 0;
    std::vector<float> recorded_;
    std::int64_t lastRecorded_ = 0;
    double stalledSince_ = -1.0;  // steady seconds

    mutable std::mutex editsMutex_;
    std::vector<WatchEdit> edits_;
    bool editsKnown_ = false;
};
