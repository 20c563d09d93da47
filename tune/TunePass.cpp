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

// One sequence of the four outputs, as tuning takes it.
std::pair<MeasurementResult, SystemMeasurement> MeasureAll(const TuneSettings& settings, TuneUnit& unit,
                                                           const TuneCallbacks& callbacks,
                                                           const std::atomic<bool>& cancel)
{
    MeasureSettings measure = settings.measure;
    measure.outputs = {MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub, MeasuredOutput::System};
    try {
        MeasurementResult result = Measure(measure, &unit, callbacks.measure, cancel);
        SystemMeasurement system = SystemMeasurementOf(result);
        return {std::move(result), std::move(system)};
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
void CheckSettings(const TuneSettings& settings)
{
    try {
        CheckTuneSettings(settings);
    } catch (const std::invalid_argument& e) {
        TuneError error(TuneError::Kind::Measure, e.what());
        error.measureKind = MeasureError::Kind::Settings;
        throw error;
    }
}

ParameterModel ReadSetting(TuneUnit& unit)
{
    std::optional<ParameterModel> setting = unit.Setting();
    if (!setting) throw TuneError(TuneError::Kind::Unit, "The unit did not answer when its setting was read.");
    return *setting;
}

TuneProposal Propose(const SystemMeasurement& measurement, const ParameterModel& setting,
                     const TuneOptions& options)
{
    try {
        return ProposeTuning(measurement, setting, options);
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
            return std::string("the level of ") + ChannelCaption(slot) + " would rise by " +
                   Figure("%.1f dB", riseDb) + ", more than the limit of " + Figure("%.1f dB", maxRiseDb);
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

// Applies `to` over `from`, measures again and checks the result.
AppliedPass RunPass(const TuneStart& start, const TuneProposal& proposal, const SystemMeasurement& before,
                    const ParameterModel& from, const ParameterModel& to, TuneUnit& unit,
                    const TuneCallbacks& callbacks, const std::atomic<bool>& cancel, std::vector<AppliedPass>& done)
{
    AppliedPass pass;
    pass.proposal = proposal;
    pass.setting = from;
    pass.applied = to;
    pass.predicted = PredictedMeasurement(before, from, to);
    Tell(callbacks, TuneStage::Applying);
    if (cancel) throw TuneError(TuneError::Kind::Cancelled, "The tuning was cancelled: nothing was changed.");
    SendStep(unit, from, to, done.empty() ? "Tune the system" : "Tune the system: second pass", done);
    Tell(callbacks, TuneStage::Verifying);
    try {
        std::tie(pass.measured, pass.after) = MeasureAll(start.settings, unit, callbacks, cancel);
    } catch (TuneError& e) {
        e.passesDone = done;
        throw;
    }
    pass.verification =
        VerifyTuning(before, pass.predicted, pass.after, from, proposal.region, start.settings.options.fit);
    return pass;
}

// The second pass: the channels' PEQ fitted again on the measurement after
// the first (the alignment and the levels stay as applied), when any part
// of the PEQ was chosen.
std::optional<AppliedPass> SecondPass(const TuneStart& start, const TuneParts& parts, const AppliedPass& first,
                                      TuneUnit& unit, const TuneCallbacks& callbacks,
                                      const std::atomic<bool>& cancel, std::vector<AppliedPass>& done)
{
    if (!first.verification.secondPassDue || !(parts.peqLr || parts.peqSub)) return std::nullopt;
    Tell(callbacks, TuneStage::SecondPass);
    const TuneProposal proposal = Propose(first.after, first.applied, start.settings.options);
    const TuneParts peqOnly{.alignment = false, .levels = false, .peqLr = parts.peqLr, .peqSub = parts.peqSub};
    const ParameterModel to = ProposedSetting(first.applied, proposal, peqOnly);
    if (SameSetting(to, first.applied)) return std::nullopt;
    return RunPass(start, proposal, first.after, first.applied, to, unit, callbacks, cancel, done);
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

TuneError::TuneError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

TuneStart MeasureAndPropose(const TuneSettings& settings, TuneUnit& unit, const TuneCallbacks& callbacks,
                            const std::atomic<bool>& cancel)
{
    CheckSettings(settings);
    TuneStart start;
    start.settings = settings;
    // The setting the sequence plays with (its mutes are put back after).
    start.setting = ReadSetting(unit);
    Tell(callbacks, TuneStage::Measuring);
    std::tie(start.measured, start.measurement) = MeasureAll(settings, unit, callbacks, cancel);
    Tell(callbacks, TuneStage::Proposing);
    start.proposal = Propose(start.measurement, start.setting, settings.options);
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
    outcome.passes.push_back(RunPass(start, start.proposal, start.measurement, start.setting, target, unit,
                                     callbacks, cancel, outcome.passes));
    if (std::optional<AppliedPass> second =
            SecondPass(start, parts, outcome.passes.front(), unit, callbacks, cancel, outcome.passes))
        outcome.passes.push_back(std::move(*second));
    // The alignment and the levels are the first pass's, the PEQ the last one's.
    TuneStart judged = start;
    judged.proposal.peqLr = outcome.passes.back().proposal.peqLr;
    judged.proposal.peqSub = outcome.passes.back().proposal.peqSub;
    outcome.shortfalls = ProposalShortfalls(judged, parts);
    for (std::string& missed : VerificationShortfalls(outcome.passes.back().verification))
        outcome.shortfalls.push_back(std::move(missed));
    return outcome;
}
