// A measurement of the system through the sound card: each output asked for
// is played in turn in ONE continuous duplex stream, so that the arrival
// times of all outputs are on one time base (the Sub and the system play
// before the tops, whose noise floor takes a quarter of the time; the
// results come as listed). Between sweeps the unit's mutes
// are set for the next output, each change acknowledged before its silence
// (recorded too, for the noise floor) and its sweep begin. The person's
// mutes are put back after success, an error or a cancel; a unit that stops
// answering is said, with the mutes it was left with.
//
// Used by every face: it runs on the caller's thread, reports its progress
// and the microphone's level through callbacks on that thread, and ends at
// its next step once `cancel` is set from any thread (or a signal handler).
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FrequencyResponse.h"
#include "ImpulseWindow.h"
#include "Levels.h"
#include "MeasureSettings.h"
#include "MeasuredOutput.h"
#include "UnitMutes.h"
#include "Verdict.h"

class SoundSystem;

struct OutputResult {
    MeasuredOutput output = MeasuredOutput::Left;
    Verdict verdict = Verdict::Ok;
    std::string verdictText;  // "ok", or what spoils it
    double arrivalMs = 0.0;
    double peakDbfs = kSilenceDbfs;
    std::optional<double> snrDb;  // the least of its band's octaves
    std::vector<BandSnr> snr;
    FrequencyResponse response;  // 1/48 octave, 10 Hz .. 20 kHz
    ImpulseResponse impulse;
    int dropouts = 0;  // losses within its sweep's recording
    // Why its sweep was played again ("played again once after a dropout"); empty: it was not.
    std::string playedAgain;
};

// The verdict's text and, where its sweep was played again, why: "ok
// (played again once after a dropout)".
std::string VerdictWithReplays(const OutputResult& output);

struct MeasurementResult {
    int rate = 48000;
    bool absoluteTime = false;  // arrival times from the loopback
    std::string playDevice;
    std::string recordDevice;
    std::vector<OutputResult> outputs;
    double sweepsSeconds = 0.0;    // the sweeps' own playing time, those played again among them
    double sequenceSeconds = 0.0;  // from the stream's start to the mutes put back
    // How long the room rang on after a sweep (the tail each was given),
    // where a sweep came back to show it.
    std::optional<double> roomTailSeconds;
    // After a sequence that went through: mutes the unit did not take back.
    std::vector<UnrestoredMute> unrestored;
    bool AllOk() const;
};

enum class MeasurePhase { Starting, Muting, Silence, Sweep, Tail, Restoring, Analysing };
// "starting", "setting the mutes", "silence", "sweep", "tail", "putting the mutes back", "analysing".
const char* PhaseName(MeasurePhase phase);

struct MeasureProgress {
    MeasurePhase phase = MeasurePhase::Starting;
    std::optional<MeasuredOutput> output;
    double fraction = 0.0;  // of the whole sequence
};

struct MeasureCallbacks {
    std::function<void(const MeasureProgress&)> progress;
    // The microphone's peak in dBFS, every 50 ms or so while a sweep plays.
    std::function<void(double dbfs)> inputLevel;
};

class MeasureError : public std::runtime_error {
public:
    enum class Kind { Settings, Audio, Unit, Cancelled };
    MeasureError(Kind kind, const std::string& message, std::vector<UnrestoredMute> unrestored = {});
    Kind kind() const { return kind_; }
    // The mutes left as the measurement had set them: say so loudly.
    const std::vector<UnrestoredMute>& unrestored() const { return unrestored_; }

private:
    Kind kind_;
    std::vector<UnrestoredMute> unrestored_;
};

// Measures. `unit` null plays the sweeps and sets nothing (no unit). Throws
// MeasureError: Settings for settings that cannot be played (those
// CheckMeasureSettings refuses, with its words),
// Audio for a device that cannot be had or a stream that fails, Unit for a
// mute the unit did not acknowledge, Cancelled; the last three with the
// mutes that could not be put back.
// `system` null: the machine's sound system.
MeasurementResult Measure(const MeasureSettings& settings, UnitMutes* unit, const MeasureCallbacks& callbacks,
                          const std::atomic<bool>& cancel, const SoundSystem* system = nullptr);

// Throws MeasureError Settings for settings Measure refuses, before anything plays.
void CheckMeasurable(const MeasureSettings& settings);

// "The unit's mutes could not be restored: Left & Right should be unmuted.
// Set them on the unit by hand." Empty for none.
std::string UnrestoredWarning(const std::vector<UnrestoredMute>& mutes);
