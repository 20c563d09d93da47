// A tuning pass over the unit, in two halves so that a face can show the
// proposal and let the person choose its parts before anything changes:
//  - MeasureAndPropose: the four outputs measured, the unit's setting read,
//    the proposal made. Nothing on the unit changes but the sequence's
//    mutes, which are put back.
//  - ApplyAndVerify: the parts chosen applied as one step, the outputs
//    measured again and the result checked against the prediction; where
//    it misses by more than kSecondPassDb a second pass fits on the new
//    measurement and is checked in turn (two passes at most).
// Both run on the caller's thread and end at their next step once `cancel`
// is set (from any thread or a signal handler).
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Measurement.h"
#include "TuneSettings.h"
#include "TuneUnit.h"
#include "tuning/TuneVerify.h"

enum class TuneStage { Measuring, Proposing, Applying, Verifying, SecondPass };
// "measuring", "proposing", "applying", "verifying", "second pass".
const char* StageName(TuneStage stage);

struct TuneCallbacks {
    std::function<void(TuneStage)> stage;
    MeasureCallbacks measure;  // each sequence's progress and input level
};

// What MeasureAndPropose found: the proposal and what it was made from.
struct TuneStart {
    TuneSettings settings;
    MeasurementResult measured;  // as the sequence gave it (for its files)
    SystemMeasurement measurement;
    ParameterModel setting;  // the unit's, as the proposal was made from it
    TuneProposal proposal;
};

// One applied pass and what measuring after it showed.
struct AppliedPass {
    TuneProposal proposal;    // the first pass's is the start's
    ParameterModel setting;   // the unit's before the pass
    ParameterModel applied;   // what the pass sent
    SystemMeasurement predicted;
    MeasurementResult measured;  // the verifying sequence
    SystemMeasurement after;
    TuneVerification verification;
};

struct TuneOutcome {
    std::vector<AppliedPass> passes;  // one or two
    // What the pass could not reach, for the person (the unit's ranges, the
    // limit on rises, a fit refused, a prediction missed); empty for none.
    std::vector<std::string> shortfalls;
};

class TuneError : public std::runtime_error {
public:
    enum class Kind {
        Measure,         // a sequence failed: measureKind says how
        Unit,            // the unit did not answer or did not take a change
        SettingChanged,  // the unit no longer holds the setting the proposal was made from
        Refused,         // the proposal cannot be made or applied as chosen
        Cancelled,
    };
    TuneError(Kind kind, const std::string& message);

    Kind kind() const { return kind_; }
    MeasureError::Kind measureKind = MeasureError::Kind::Audio;
    std::vector<UnrestoredMute> unrestored;  // mutes left as a sequence set them
    std::vector<FieldChange> leftChanged;    // fields an apply could not put back
    // Where the failure came after an apply went through: the passes done.
    std::vector<AppliedPass> passesDone;

private:
    Kind kind_;
};

// Throws TuneError: Measure for a sequence that failed or an output not ok
// (nothing is applied then), Unit when the setting cannot be read,
// Refused for a measurement the proposal cannot use, Cancelled.
TuneStart MeasureAndPropose(const TuneSettings& settings, TuneUnit& unit, const TuneCallbacks& callbacks,
                            const std::atomic<bool>& cancel);

// Applies `parts` of the start's proposal. Refuses (SettingChanged) when the
// unit no longer holds the start's setting, and (Refused) a setting in
// which a level would rise by more than the options' maxRiseDb over the
// start's. A cancel or a failed sequence after an apply leaves the new
// setting in place (it is one undo step) and says so with the passes done.
TuneOutcome ApplyAndVerify(const TuneStart& start, const TuneParts& parts, TuneUnit& unit,
                           const TuneCallbacks& callbacks, const std::atomic<bool>& cancel);
