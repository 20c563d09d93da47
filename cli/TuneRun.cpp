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
#include "TuneJson.h"
#include "TunePass.h"
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

std::string Db(double db)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", db);
    return text;
}

std::string Ms(int steps) { return std::to_string(steps / 10) + "." + std::to_string(steps % 10) + " ms"; }

void PrintSum(const char* when, const SumFigures& sum)
{
    std::printf("  crossover sum %s: mean %.1f dB, deepest dip %.1f dB at %.0f Hz\n", when, sum.meanDb,
                sum.deepestDipDb, sum.deepestDipHz);
}

void PrintPeq(const char* channel, int slot, const ParameterModel& setting, const ChannelPeq& peq)
{
    if (!peq.fit) {
        std::printf("PEQ %s: none (%s)\n", channel, peq.refused.c_str());
        return;
    }
    std::printf("PEQ %s: RMS from the target %.2f dB now, %.2f dB predicted\n", channel, peq.fit->rmsBeforeDb,
                peq.fit->rmsAfterDb);
    const PeqBands bands = ReadPeqBands(setting, slot);
    for (std::size_t band = 0; band < bands.size(); ++band)
        std::printf("  band %zu: %s\n", band + 1, PeqBandText(bands[band]).c_str());
}

void PrintProposal(const TuneStart& start)
{
    const TuneProposal& p = start.proposal;
    const Alignment& a = p.alignment;
    std::printf("Crossover region %.0f - %.0f Hz (%s)\n", p.region.lowHz, p.region.highHz,
                p.region.fromSettings ? "from the crossover settings" : "where the measured tops and Sub cross");
    std::printf("Delay: %s %s, %s %s\n", a.subDelay > 0 ? "Sub" : "Left & Right",
                Ms(std::max(a.subDelay, a.lrDelay)).c_str(), a.subDelay > 0 ? "Left & Right" : "Sub", "0.0 ms");
    std::printf("Sub polarity: %s%s\n", a.chosen.subInverted ? "inverted" : "normal",
                a.polarityReversed ? " (found reversed: the switch changes)" : "");
    if (a.otherAsGood)
        std::printf("  the %s polarity with %s was as good (within %.1f dB): the shorter delay was taken\n",
                    a.otherPolarity.subInverted ? "inverted" : "normal", Ms(a.otherPolarity.DelaySteps()).c_str(),
                    kAlignmentTieDb);
    PrintSum("now", a.before);
    PrintSum("predicted", a.after);
    std::printf("Sub level: %s (%s; tops %.1f dB, Sub %.1f dB in their bands)\n",
                StepText(Scale::Level, p.levels.subGain).c_str(), Db(p.levels.changeDb).c_str(), p.levels.topsDb,
                p.levels.subDb);
    PrintPeq("Left & Right", kSlotLeftRight, p.setting, p.peqLr);
    PrintPeq("Sub", kSlotSub, p.setting, p.peqSub);
}

void PrintVerification(std::size_t pass, const TuneVerification& v)
{
    std::printf("Verification%s:\n", pass == 0 ? "" : " after the second pass");
    for (const OutputCheck& check : v.outputs)
        std::printf("  %s: RMS from the target %.2f dB before, %.2f dB after; %s from the prediction at %.0f Hz\n",
                    check.output.c_str(), check.rmsBeforeDb, check.rmsAfterDb, Db(check.largestMissDb).c_str(),
                    check.largestMissHz);
    PrintSum("measured", v.crossoverSum);
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
    out["applied"] = outcome.has_value();
    out["verify"] = nullptr;
    json passes = json::array();
    if (outcome) {
        for (const AppliedPass& pass : outcome->passes) passes.push_back(TuneVerificationJson(pass.verification));
        out["verify"] = passes.back();
    }
    out["passes"] = passes;
    out["shortfalls"] = shortfalls;
    return out;
}

void SaveFiles(const std::string& folder, const TuneStart& start, const std::optional<TuneOutcome>& outcome,
               const json& document)
{
    SaveMeasurementFiles(start.measured, folder);
    if (outcome)
        for (std::size_t i = 0; i < outcome->passes.size(); ++i)
            SaveMeasurementFiles(outcome->passes[i].measured,
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
    for (std::size_t i = 0; i < outcome->passes.size(); ++i) PrintVerification(i, outcome->passes[i].verification);
    PrintShortfalls(shortfalls);
}
