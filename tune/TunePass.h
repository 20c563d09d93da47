// A tuning pass over the unit, in two halves so that a face can show the
// proposal and let the person choose its parts before anything changes:
//  - MeasureAndPropose: Left, Right and the Sub measured, the unit's setting read,
//    the proposal made. Nothing on the unit changes but the sequence's
//    mutes, which are put back.
//  - ApplyAndVerify: the parts chosen applied as one step, the outputs
//    measured again and the result checked against the prediction; where
//    it misses by more than kSecondPassDb a second pass fits the PEQ on the
//    new measurement, judges the alignment again with it
//    (ProposeLaterPass) and is checked in turn (two passes at most).
// With several microphone positions (the settings' measure.positions) each
// measuring is a round over every position, the person awaited between two
// (PositionsMeasurement.h) and before each verifying round's first, and
// the proposal is made from all of them (ProposeTuningAtPositions).
// Both run on the caller's thread and end at their next step once `cancel`
// is set (from any thread or a signal handler).
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "TuneSettings.h"
#include "TuneUnit.h"
#include "tuning/TuneVerify.h"

enum class TuneStage { Measuring, Proposing, Applying, Verifying, SecondPass };
// "measuring", "proposing", "applying", "verifying", "second pass".
const char* StageName(TuneStage stage);

struct TuneCallbacks {
    std::function<void(TuneStage)> stage;
    MeasureCallbacks measure;  // each sequence's progress and input level
    // Several positions: the wait for the person, between two positions and
    // before a verifying round (its pause's `measured` 0), with the mutes
    // back. Before a verifying round only Cancel counts: the round starts
    // at the first position. A pass of several positions needs it.
    AwaitPerson await{};
};

// What MeasureAndPropose found: the proposal and what it was made from.
struct TuneStart {
    TuneSettings settings;
    PositionsResult measured;                     // every position's sequence as it gave it (for its files)
    SystemMeasurement measurement;                // at the first position (the only one of a single)
    std::vector<SystemMeasurement> measurements;  // at each position, the first's included
    ParameterModel setting;                       // the unit's, as the proposal was made from it
    TuneProposal proposal;
};

// One applied pass and what measuring after it showed.
struct AppliedPass {
    TuneProposal proposal;                          // the first pass's is the start's
    ParameterModel setting;                         // the unit's before the pass
    ParameterModel applied;                         // what the pass sent
    SystemMeasurement predicted;                    // at the first position
    std::vector<SystemMeasurement> predictedPositions;  // at each position, the first's included
    PositionsResult measured;                       // the verifying sequences, a position each
    SystemMeasurement after;                        // at the first position
    std::vector<SystemMeasurement> afterPositions;  // at each position, the first's included
    // At the first position; of several, a miss of the prediction or a
    // second pass due where any position has one (VerifyTuningAtPositions).
    TuneVerification verification;
    // Several positions: each one's and the average's deviation from the
    // target before and after the pass, and the ones that got worse; empty
    // for one position.
    SpatialVerification positions;
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
    // Where the failure came after an apply went through: the passes
    // applied, the last one's measuring (which failed) empty.
    std::vector<AppliedPass> passesDone;

private:
    Kind kind_;
};

// Throws TuneError: Measure for a sequence that failed or an output not ok
// (nothing is applied then), Unit when the setting cannot be read,
// Refused for a measurement the proposal cannot use or several positions
// without a wait for the person, Cancelled (also while waiting).
TuneStart MeasureAndPropose(const TuneSettings& settings, TuneUnit& unit, const TuneCallbacks& callbacks,
                            const std::atomic<bool>& cancel);

// Whether a second pass follows the first: the measurement after it missed
// the prediction by more than kSecondPassDb, and a part of the PEQ (which
// it fits again) was chosen.
bool SecondPassDue(const TuneVerification& first, const TuneParts& parts);

// Applies `parts` of the start's proposal. Refuses (SettingChanged) when the
// unit no longer holds the start's setting, and (Refused) a setting in
// which a level would rise by more than the options' maxRiseDb over the
// start's. Of several positions, it waits for the person at the first
// before it applies, so that a cancel there leaves the unit as it was. A
// cancel or a failed sequence after an apply leaves the new setting in
// place (it is one undo step) and says so with the passes done.
TuneOutcome ApplyAndVerify(const TuneStart& start, const TuneParts& parts, TuneUnit& unit,
                           const TuneCallbacks& callbacks, const std::atomic<bool>& cancel);
