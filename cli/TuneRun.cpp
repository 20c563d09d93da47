// quenbar-cli tune where the measurement is built (Linux): the pass of
// tune/TunePass.h over the session's link, its proposal and verification
// printed or as JSON.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "CommandError.h"
#include "EqCommands.h"
#include "LinkTuneUnit.h"
#include "MeasureCommands.h"
#include "MeasureRun.h"
#include "MeasurementFiles.h"
#include "TuneJson.h"
#include "TunePass.h"
#include "TuneTexts.h"
#include "UnitSession.h"
#include "model/Units.h"

namespace {

using json = nlohmann::ordered_json;

TuneSettings SettingsOf(const TuneArgs& args)
{
    TuneSettings settings;
    settings.measure = MeasureSettingsOf(args.audio);
    if (!args.target.empty()) settings.options.fit.target = ReadCurveFile(args.target);
    settings.options.levels = args.levels;
    try {
        CheckTuneSettings(settings);
    } catch (const TuneSettingError& e) {
        throw CommandError(kExitBadInput, (e.field() == TuneField::SubOffset ? "--sub-offset: " : "--max-rise: ") +
                                              std::string(e.what()));
    }
    return settings;
}

int ExitCodeOf(const TuneError& error)
{
    if (!error.unrestored.empty() || !error.leftChanged.empty()) return kExitUnitFailed;
    switch (error.kind()) {
        case TuneError::Kind::Measure:
            return MeasureExitCode(MeasureError(error.measureKind, ""));
        case TuneError::Kind::Unit:
        case TuneError::Kind::SettingChanged:
            return kExitUnitFailed;
        case TuneError::Kind::Refused:
        case TuneError::Kind::Cancelled:
            break;
    }
    return kExitMeasureFailed;
}

CommandError CommandErrorOf(const TuneError& error)
{
    std::string message = error.what();
    if (!error.passesDone.empty())
        message += "\nThe tuning's change stays applied on the unit (" + std::to_string(error.passesDone.size()) +
                   " pass" + (error.passesDone.size() > 1 ? "es" : "") + "); it was not verified.";
    return CommandError(ExitCodeOf(error), message);
}

void PrintProposal(const TuneStart& start)
{
    if (start.measurements.size() > 1) std::printf("Proposed from %zu positions.\n", start.measurements.size());
    std::printf("%s\n", RegionSentence(start.proposal.region).c_str());
    for (TunePart part : kTuneParts) {
        const TunePartText text = DescribePart(start.setting, start.proposal, part);
        std::printf("%s: %s\n  %s\n", text.part.c_str(), text.proposal.c_str(), text.effect.c_str());
        if (!text.note.empty()) std::printf("  %s\n", text.note.c_str());
    }
    for (const std::string& sum : PositionSumTexts(start.proposal)) std::printf("%s\n", sum.c_str());
}

void PrintVerification(std::size_t number, const TuneStart& start, const AppliedPass& pass)
{
    const std::string atPosition = ChecksPositionText(pass.positions);
    std::printf("Verification%s:\n", number == 0 ? "" : " after the second pass");
    if (!atPosition.empty()) std::printf("  %s\n", atPosition.c_str());
    for (const OutputCheckText& check : DescribeChecks(pass.verification))
        std::printf("  %s: RMS from the target %s before, %s after; off the prediction by %s\n", check.output.c_str(),
                    check.rmsBefore.c_str(), check.rmsAfter.c_str(), check.miss.c_str());
    for (const std::string& finding : VerificationFindings(pass.verification, start.proposal.region))
        std::printf("  %s\n", finding.c_str());
    if (atPosition.empty()) return;
    std::printf("At every position (the system):\n");
    for (const std::string& text : SpatialVerificationTexts(pass.positions)) std::printf("  %s\n", text.c_str());
}

void PrintShortfalls(const std::vector<std::string>& shortfalls)
{
    if (shortfalls.empty()) return;
    std::printf("Not reached:\n");
    for (const std::string& shortfall : shortfalls) std::printf("  %s\n", shortfall.c_str());
}

json OutcomeJson(const TuneStart& start, const std::optional<TuneOutcome>& outcome,
                 const std::vector<std::string>& shortfalls)
{
    json out = TuneProposalJson(start.setting, start.proposal);
    if (start.measurements.size() > 1) out["measured"] = PositionsResultJson(start.measured);
    out["applied"] = outcome.has_value();
    out["verify"] = nullptr;
    json passes = json::array();
    if (outcome) {
        for (const AppliedPass& pass : outcome->passes) {
            passes.push_back(TuneVerificationJson(pass.verification, pass.positions));
            passes.back()["applied"] = AlignmentJson(pass.applied);
        }
        out["verify"] = passes.back();
    }
    out["passes"] = passes;
    out["shortfalls"] = shortfalls;
    return out;
}

void SaveFiles(const std::string& folder, const TuneStart& start, const std::optional<TuneOutcome>& outcome,
               const json& document)
{
    SavePositionsFiles(start.measured, folder);
    if (outcome)
        for (std::size_t i = 0; i < outcome->passes.size(); ++i)
            SavePositionsFiles(outcome->passes[i].measured,
                               (std::filesystem::path(folder) / ("after-" + std::to_string(i + 1))).string());
    const std::filesystem::path path = std::filesystem::path(folder) / "tune.json";
    std::ofstream file(path);
    file << document.dump(2) << '\n';
    if (!file) throw CommandError(kExitBadInput, "Cannot write " + path.string());
    std::cerr << "Wrote " << path.string() << '\n';
}

}  // namespace

void TuneCommand(const std::string& port, const TuneArgs& args)
{
    if (port.empty()) throw CommandError(kExitBadInput, "tune needs --port DEVICE, the unit it tunes.");
    const TuneSettings settings = SettingsOf(args);
    UnitSession session(port);
    const InterruptCatcher catcher;
    LinkTuneUnit unit(session.link(), &InterruptCatcher::Interrupted());
    ProgressReport report("tune");
    TuneCallbacks callbacks;
    callbacks.stage = [&report](TuneStage stage) { report.Say(StageName(stage)); };
    callbacks.measure = report.Callbacks();
    callbacks.await = [&report](const PositionPause& pause) { return AskThePerson(pause, report); };

    std::optional<TuneStart> start;
    std::optional<TuneOutcome> outcome;
    try {
        start = MeasureAndPropose(settings, unit, callbacks, InterruptCatcher::Interrupted());
        if (args.apply) outcome = ApplyAndVerify(*start, {}, unit, callbacks, InterruptCatcher::Interrupted());
    } catch (const TuneError& e) {
        throw CommandErrorOf(e);
    }
    const std::vector<std::string> shortfalls = outcome ? outcome->shortfalls : ProposalShortfalls(*start, {});
    const json document = OutcomeJson(*start, outcome, shortfalls);
    if (!args.audio.folder.empty()) SaveFiles(args.audio.folder, *start, outcome, document);
    if (args.audio.json) {
        std::cout << document.dump(2) << '\n';
        return;
    }
    PrintProposal(*start);
    if (!outcome) {
        PrintShortfalls(shortfalls);
        std::printf("Nothing on the unit was changed (--apply applies the proposal).\n");
        return;
    }
    std::printf("Applied as one change.\n");
    for (std::size_t i = 0; i < outcome->passes.size(); ++i) PrintVerification(i, *start, outcome->passes[i]);
    PrintShortfalls(shortfalls);
}
