// The measurement's commands.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "AudioDevices.h"
#include "CommandError.h"
#include "LinkMutes.h"
#include "MeasureCommands.h"
#include "MeasureRun.h"
#include "Measurement.h"
#include "MeasurementFiles.h"
#include "PositionsMeasurement.h"
#include "UnitSession.h"

namespace {

using json = nlohmann::ordered_json;

}  // namespace

ProgressReport::ProgressReport(std::string command)
    : command_(std::move(command)), terminal_(isatty(STDERR_FILENO) != 0)
{
}

void ProgressReport::Progress(const MeasureProgress& progress)
{
    const std::string output = progress.output ? OutputName(*progress.output) : "";
    if (terminal_) {
        phase_ = output + (output.empty() ? "" : ": ") + PhaseName(progress.phase);
        fraction_ = progress.fraction;
        Draw();
        return;
    }
    if (progress.phase == MeasurePhase::Sweep) std::cerr << command_ << ": " << output << ": sweep\n";
    if (progress.phase == MeasurePhase::Tail) {
        std::fprintf(stderr, "%s: %s: input peak %.1f dBFS\n", command_.c_str(), output.c_str(), sweepPeak_);
        sweepPeak_ = kSilenceDbfs;
    }
}

void ProgressReport::Level(double dbfs)
{
    sweepPeak_ = std::max(sweepPeak_, dbfs);
    level_ = dbfs;
    if (terminal_) Draw();
}

void ProgressReport::Say(const std::string& line) { Prompt(command_ + ": " + line); }

void ProgressReport::Prompt(const std::string& line)
{
    if (terminal_ && drawn_) std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
    std::cerr << line << '\n';
}

MeasureCallbacks ProgressReport::Callbacks()
{
    MeasureCallbacks callbacks;
    callbacks.progress = [this](const MeasureProgress& progress) { Progress(progress); };
    callbacks.inputLevel = [this](double dbfs) { Level(dbfs); };
    return callbacks;
}

ProgressReport::~ProgressReport()
{
    if (terminal_ && drawn_) std::fprintf(stderr, "\r\033[K");
}

void ProgressReport::Draw()
{
    std::fprintf(stderr, "\r\033[K%s: %3.0f%%  %s  input %.1f dBFS", command_.c_str(), 100 * fraction_, phase_.c_str(),
                 level_);
    drawn_ = true;
}

const char* OptionOf(MeasureField field)
{
    switch (field) {
        case MeasureField::Outputs:
            return "--outputs";
        case MeasureField::MicrophoneChannel:
            return "--mic-channel";
        case MeasureField::LoopbackChannel:
            return "--loopback-channel";
        case MeasureField::Level:
            return "--level";
        case MeasureField::Length:
            return "--length";
        case MeasureField::Positions:
            return "--positions";
        case MeasureField::Rate:
            break;
    }
    return "--rate";
}

CommandError RefusalOf(const SettingError& error)
{
    return CommandError(kExitBadInput, std::string(OptionOf(error.field())) + ": " + error.what());
}

MeasureSettings MeasureSettingsOf(const MeasureArgs& args)
{
    try {
        MeasureSettings settings = args.settings;
        settings.outputs = OutputsOfList(args.outputs);
        CheckMeasureSettings(settings);
        return settings;
    } catch (const SettingError& e) {
        throw RefusalOf(e);
    }
}

int MeasureExitCode(const MeasureError& error)
{
    if (!error.unrestored().empty()) return kExitUnitFailed;
    switch (error.kind()) {
        case MeasureError::Kind::Settings:
            return kExitBadInput;
        case MeasureError::Kind::Unit:
            return kExitUnitFailed;
        case MeasureError::Kind::Audio:
        case MeasureError::Kind::Cancelled:
            break;
    }
    return kExitMeasureFailed;
}

void SavePositionsFiles(const PositionsResult& result, const std::string& folder)
{
    try {
        for (const auto& path : SavePositions(result, folder)) std::cerr << "Wrote " << path.string() << '\n';
    } catch (const MeasurementFileError& e) {
        throw CommandError(kExitBadInput, e.what());
    }
}

PositionChoice AskThePerson(const PositionPause& pause, ProgressReport& report)
{
    const std::string position = "position " + std::to_string(pause.measured) + " of " + std::to_string(pause.count);
    if (!pause.result.AllOk()) {
        std::string faults;
        for (const OutputResult& output : pause.result.outputs)
            if (output.verdict != Verdict::Ok)
                faults += std::string("; ") + OutputName(output.output) + ": " + output.verdictText;
        report.Say(position + " is not ok" + faults + ". Type \"again\" and Enter to measure it again.");
    }
    if (pause.measured < pause.count)
        report.Prompt("Move the microphone to position " + std::to_string(pause.measured + 1) + " of " +
                      std::to_string(pause.count) + ", then press Enter.");
    else
        report.Prompt("Press Enter to keep " + position + ".");
    const std::optional<std::string> line = ReadLineUnlessInterrupted();
    if (!line) return PositionChoice::Cancel;
    return line->find("again") != std::string::npos ? PositionChoice::Again : PositionChoice::Next;
}

namespace {

void CheckUnitChoice(const std::string& port, const MeasureArgs& args)
{
    if (args.noUnit && !port.empty())
        throw CommandError(kExitBadInput, "--no-unit measures without the unit: leave out --port.");
    if (!args.noUnit && port.empty())
        throw CommandError(kExitBadInput,
                           "measure needs --port DEVICE, the unit whose mutes it sets between the sweeps "
                           "(or --no-unit to play the sweeps alone).");
}

PositionsResult RunMeasurement(const MeasureSettings& settings, UnitMutes* mutes)
{
    const InterruptCatcher catcher;
    ProgressReport report("measure");
    try {
        return MeasurePositions(
            settings, mutes, report.Callbacks(),
            [&report](const PositionPause& pause) { return AskThePerson(pause, report); },
            InterruptCatcher::Interrupted());
    } catch (const MeasureError& e) {
        throw CommandError(MeasureExitCode(e), e.what());
    }
}

void PrintOutput(const OutputResult& output)
{
    std::printf("%s: %s", OutputName(output.output), VerdictWithReplays(output).c_str());
    if (!output.response.hz.empty())
        std::printf(", arrival %.3f ms, peak %.1f dBFS, SNR %.1f dB", output.arrivalMs, output.peakDbfs,
                    output.snrDb.value_or(0.0));
    std::printf("\n");
}

void PrintResult(const MeasurementResult& result)
{
    for (const OutputResult& output : result.outputs) PrintOutput(output);
    std::printf("Arrival times %s.\n", result.absoluteTime ? "from the loopback (absolute)" : "on one time base");
}

// Each position as one measurement, then the average's verdict and its
// largest spread per output.
void PrintPositions(const PositionsResult& result)
{
    if (result.positions.size() == 1) return PrintResult(result.positions.front());
    for (std::size_t k = 0; k < result.positions.size(); ++k) {
        std::printf("Position %zu:\n", k + 1);
        for (const OutputResult& output : result.positions[k].outputs) PrintOutput(output);
    }
    std::printf("Average of %zu positions:\n", result.positions.size());
    for (const OutputAverage& average : result.averages) {
        std::printf("%s: %s", OutputName(average.output), average.verdictText.c_str());
        const auto& spread = average.response.spreadDb;
        if (!spread.empty()) std::printf(", largest spread %.1f dB", *std::max_element(spread.begin(), spread.end()));
        std::printf("\n");
    }
    std::printf("Arrival times %s.\n",
                result.positions.front().absoluteTime ? "from the loopback (absolute)" : "on one time base");
}

// A verdict other than ok fails the command, each output's fault said
// (with its position, of several).
void RequireAllOk(const PositionsResult& result)
{
    std::string faults;
    for (std::size_t k = 0; k < result.positions.size(); ++k) {
        const MeasurementResult& position = result.positions[k];
        if (!position.unrestored.empty()) throw CommandError(kExitUnitFailed, UnrestoredWarning(position.unrestored));
        const std::string where = result.positions.size() == 1 ? "" : "position " + std::to_string(k + 1) + ": ";
        for (const OutputResult& output : position.outputs)
            if (output.verdict != Verdict::Ok)
                faults += "\n" + where + OutputName(output.output) + ": " + output.verdictText;
    }
    if (!faults.empty()) throw CommandError(kExitMeasureFailed, "The measurement is not ok:" + faults);
}

}  // namespace

void ListAudioDevicesCommand(bool asJson)
{
    std::vector<AudioDevice> devices;
    try {
        devices = ListAudioDevices();
    } catch (const AudioError& e) {
        throw CommandError(kExitMeasureFailed, e.what());
    }
    json list = json::array();
    for (const AudioDevice& device : devices) {
        if (asJson) {
            list.push_back({{"name", device.name},
                            {"serverName", device.serverName},
                            {"inputChannels", device.inputChannels},
                            {"outputChannels", device.outputChannels},
                            {"rates", device.rates},
                            {"defaultInput", device.defaultInput},
                            {"defaultOutput", device.defaultOutput}});
            continue;
        }
        std::cout << device.name << (device.serverName.empty() ? "" : " (" + device.serverName + ")") << ": "
                  << device.outputChannels << " out, " << device.inputChannels << " in"
                  << (device.defaultOutput ? ", default output" : "") << (device.defaultInput ? ", default input" : "")
                  << '\n';
    }
    if (asJson) std::cout << list.dump(2) << '\n';
}

void MeasureCommand(const std::string& port, const MeasureArgs& args)
{
    CheckUnitChoice(port, args);
    const MeasureSettings settings = MeasureSettingsOf(args);
    std::optional<UnitSession> session;
    std::optional<LinkMutes> mutes;
    if (!args.noUnit) {
        session.emplace(port);
        mutes.emplace(session->link());
    }
    const PositionsResult result = RunMeasurement(settings, mutes ? &*mutes : nullptr);
    if (!args.folder.empty()) SavePositionsFiles(result, args.folder);
    if (args.json)
        std::cout << PositionsResultJson(result).dump(2) << '\n';
    else
        PrintPositions(result);
    RequireAllOk(result);
}
