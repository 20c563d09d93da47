#include "TunePass.h"

#include <cmath>
#include <cstdio>

#include "TuneMeasurement.h"
#include "TuneTexts.h"
#include "model/Scales.h"

namespace {

constexpr double kDbPerGainStep = 0.5;

std::string Figure(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void Tell(const TuneCallbacks& callbacks, TuneStage stage)
{
    if (callbacks.stage) callbacks.stage(stage);
}

TuneError::Kind KindOf(MeasureError::Kind kind)
{
    return kind == MeasureError::Kind::Cancelled ? TuneError::Kind::Cancelled : TuneError::Kind::Measure;
}

// A round of sequences over the positions, as tuning takes them (one
// position: one sequence, with no wait). Left, Right and the Sub alone: the
// system at the microphone is their complex sum, each measured on the
// sequence's one time base, so a sweep of all three together would only
// measure that sum again, and cost a sweep's time at every position.
PositionsResult MeasureRound(const TuneSettings& settings, TuneUnit& unit, const TuneCallbacks& callbacks,
                             const std::atomic<bool>& cancel)
{
    MeasureSettings measure = settings.measure;
    measure.outputs = {MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub};
    if (measure.positions > 1) return MeasurePositions(measure, &unit, callbacks.measure, callbacks.await, cancel);
    PositionsResult result;
    result.positions.push_back(Measure(measure, &unit, callbacks.measure, cancel));
    result.averages = AverageOutputs(result.positions);
    return result;
}

// Every position's sequence, and what tuning takes of each.
std::pair<PositionsResult, std::vector<SystemMeasurement>> MeasureAll(const TuneSettings& settings, TuneUnit& unit,
                                                                      const TuneCallbacks& callbacks,
                                                                      const std::atomic<bool>& cancel)
{
    try {
        PositionsResult result = MeasureRound(settings, unit, callbacks, cancel);
        std::vector<SystemMeasurement> systems = SystemMeasurementsOf(result);
        return {std::move(result), std::move(systems)};
    } catch (const MeasureError& e) {
        TuneError error(KindOf(e.kind()), e.what());
        error.measureKind = e.kind();
        error.unrestored = e.unrestored();
        throw error;
    } catch (const TuneMeasurementError& e) {
        throw TuneError(TuneError::Kind::Measure, e.what());
    }
}

// A refused setting ends the pass before anything is measured, as the
// measurement's own refusal would.
void CheckSettings(const TuneSettings& settings, const TuneCallbacks& callbacks)
{
    try {
        CheckTuneSettings(settings);
    } catch (const std::invalid_argument& e) {
        TuneError error(TuneError::Kind::Measure, e.what());
        error.measureKind = MeasureError::Kind::Settings;
        throw error;
    }
    if (settings.measure.positions > 1 && !callbacks.await)
        throw TuneError(TuneError::Kind::Refused,
                        "Several positions need someone to move the microphone between them, and nobody is asked.");
}

// A cancel before a pass's change is sent: the passes done stay applied.
TuneError CancelledBefore(const std::vector<AppliedPass>& done)
{
    TuneError error(TuneError::Kind::Cancelled, done.empty() ? "The tuning was cancelled: nothing was changed."
                                                             : "The tuning was cancelled before its second pass.");
    error.passesDone = done;
    return error;
}

// Of several positions, the person back at the first before a verifying
// round; the mutes are back since the last round's sequences ended.
void AwaitFirstPosition(const TuneSettings& settings, const PositionsResult& last, const TuneCallbacks& callbacks,
                        const std::vector<AppliedPass>& done)
{
    const int count = settings.measure.positions;
    if (count == 1) return;
    if (callbacks.await({0, count, last.positions.back(), last.averages}) == PositionChoice::Cancel)
        throw CancelledBefore(done);
}

ParameterModel ReadSetting(TuneUnit& unit)
{
    std::optional<ParameterModel> setting = unit.Setting();
    if (!setting) throw TuneError(TuneError::Kind::Unit, "The unit did not answer when its setting was read.");
    return *setting;
}

// `propose` makes the proposal; what it cannot make refuses the pass.
template <typename Proposing>
TuneProposal Propose(Proposing propose)
{
    try {
        return propose();
    } catch (const std::invalid_argument& e) {
        throw TuneError(TuneError::Kind::Refused, std::string("No proposal can be made: ") + e.what() + ".");
    }
}

// The first level of the two channels that would rise by more than the limit, if one would.
std::optional<std::string> RiseBeyond(const ParameterModel& from, const ParameterModel& to, double maxRiseDb)
{
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        const double riseDb = (to.gain[slot] - from.gain[slot]) * kDbPerGainStep;
        if (riseDb > maxRiseDb + 1e-9)
            return std::string("the level of ") + ChannelCaption(slot) + " would rise by " + Figure("%.1f dB", riseDb) +
                   ", more than the limit of " + Figure("%.1f dB", maxRiseDb);
    }
    return std::nullopt;
}

void SendStep(TuneUnit& unit, const ParameterModel& from, const ParameterModel& to, const std::string& label,
              std::vector<AppliedPass>& done)
{
    const ApplyResult applied = unit.Apply(from, to, label);
    if (applied.Done()) return;
    TuneError error(TuneError::Kind::Unit, applied.error);
    error.leftChanged = applied.leftChanged;
    error.passesDone = done;
    throw error;
}

// What a pass starts from: the last round's sequences and what tuning took of them.
struct Round {
    const PositionsResult& measured;
    const std::vector<SystemMeasurement>& systems;
};

// Applies `to` over `from`, measures again and checks the result.
AppliedPass RunPass(const TuneStart& start, const TuneProposal& proposal, const Round& before,
                    const ParameterModel& from, const ParameterModel& to, TuneUnit& unit,
                    const TuneCallbacks& callbacks, const std::atomic<bool>& cancel, std::vector<AppliedPass>& done)
{
    AppliedPass pass;
    pass.proposal = proposal;
    pass.setting = from;
    pass.applied = to;
    AwaitFirstPosition(start.settings, before.measured, callbacks, done);
    Tell(callbacks, TuneStage::Applying);
    if (cancel) throw CancelledBefore(done);
    SendStep(unit, from, to, done.empty() ? "Tune the system" : "Tune the system: second pass", done);
    Tell(callbacks, TuneStage::Verifying);
    try {
        std::tie(pass.measured, pass.afterPositions) = MeasureAll(start.settings, unit, callbacks, cancel);
    } catch (TuneError& e) {
        // The change went through: the error says so with this pass, unverified.
        e.passesDone = done;
        e.passesDone.push_back(pass);
        throw;
    }
    pass.after = pass.afterPositions.front();
    for (const SystemMeasurement& position : before.systems)
        pass.predictedPositions.push_back(PredictedMeasurement(position, from, to));
    pass.predicted = pass.predictedPositions.front();
    const FitOptions& fit = start.settings.options.fit;
    pass.verification = VerifyTuningAtPositions(before.systems, pass.predictedPositions, pass.afterPositions, from,
                                                proposal.region, fit);
    if (before.systems.size() > 1)
        pass.positions = VerifyAtPositions(before.systems, pass.afterPositions, proposal.region, fit);
    return pass;
}

// The second pass: the channels' PEQ fitted again on the measurement after
// the first, and the alignment, where it was chosen, judged again with the
// new bands in place (the levels stay as applied), when any part of the PEQ
// was chosen.
std::optional<AppliedPass> SecondPass(const TuneStart& start, const TuneParts& parts, const AppliedPass& first,
                                      TuneUnit& unit, const TuneCallbacks& callbacks, const std::atomic<bool>& cancel,
                                      std::vector<AppliedPass>& done)
{
    if (!SecondPassDue(first.verification, parts)) return std::nullopt;
    Tell(callbacks, TuneStage::SecondPass);
    const TuneProposal proposal = Propose([&] {
        return ProposeLaterPass(first.afterPositions, first.applied, start.settings.options, first.proposal.region);
    });
    const TuneParts again{.alignment = parts.alignment, .levels = false, .peqLr = parts.peqLr, .peqSub = parts.peqSub};
    const ParameterModel to = ProposedSetting(first.applied, proposal, again);
    if (SameSetting(to, first.applied)) return std::nullopt;
    return RunPass(start, proposal, {first.measured, first.afterPositions}, first.applied, to, unit, callbacks, cancel,
                   done);
}

}  // namespace

const char* StageName(TuneStage stage)
{
    switch (stage) {
        case TuneStage::Measuring:
            return "measuring";
        case TuneStage::Proposing:
            return "proposing";
        case TuneStage::Applying:
            return "applying";
        case TuneStage::Verifying:
            return "verifying";
        case TuneStage::SecondPass:
            return "second pass";
    }
    return "";
}

bool SecondPassDue(const TuneVerification& first, const TuneParts& parts)
{
    return first.secondPassDue && (parts.peqLr || parts.peqSub);
}

TuneError::TuneError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

TuneStart MeasureAndPropose(const TuneSettings& settings, TuneUnit& unit, const TuneCallbacks& callbacks,
                            const std::atomic<bool>& cancel)
{
    CheckSettings(settings, callbacks);
    TuneStart start;
    start.settings = settings;
    // The setting the sequence plays with (its mutes are put back after).
    start.setting = ReadSetting(unit);
    Tell(callbacks, TuneStage::Measuring);
    std::tie(start.measured, start.measurements) = MeasureAll(settings, unit, callbacks, cancel);
    start.measurement = start.measurements.front();
    // The verification measures in the same room: it need not follow its ringing again.
    if (!start.settings.measure.roomTailSeconds)
        start.settings.measure.roomTailSeconds = start.measured.positions.front().roomTailSeconds;
    Tell(callbacks, TuneStage::Proposing);
    start.proposal =
        Propose([&] { return ProposeTuningAtPositions(start.measurements, start.setting, settings.options); });
    return start;
}

TuneOutcome ApplyAndVerify(const TuneStart& start, const TuneParts& parts, TuneUnit& unit,
                           const TuneCallbacks& callbacks, const std::atomic<bool>& cancel)
{
    if (!SameSetting(ReadSetting(unit), start.setting))
        throw TuneError(TuneError::Kind::SettingChanged,
                        "The unit's setting has changed since it was measured: measure again before applying.");
    const ParameterModel target = ProposedSetting(start.setting, start.proposal, parts);
    if (const std::optional<std::string> rise =
            RiseBeyond(start.setting, target, start.settings.options.levels.maxRiseDb))
        throw TuneError(TuneError::Kind::Refused, "Nothing was applied: " + *rise + ".");

    TuneOutcome outcome;
    outcome.passes.push_back(RunPass(start, start.proposal, {start.measured, start.measurements}, start.setting, target,
                                     unit, callbacks, cancel, outcome.passes));
    if (std::optional<AppliedPass> second =
            SecondPass(start, parts, outcome.passes.front(), unit, callbacks, cancel, outcome.passes))
        outcome.passes.push_back(std::move(*second));
    // The levels are the first pass's, the PEQ and the alignment (where it was chosen) the last one's.
    TuneStart judged = start;
    const TuneProposal& last = outcome.passes.back().proposal;
    judged.proposal.peqLr = last.peqLr;
    judged.proposal.peqSub = last.peqSub;
    if (parts.alignment) judged.proposal.alignment = last.alignment;
    outcome.shortfalls = ProposalShortfalls(judged, parts);
    for (std::string& missed : VerificationShortfalls(outcome.passes.back().verification))
        outcome.shortfalls.push_back(std::move(missed));
    return outcome;
}
