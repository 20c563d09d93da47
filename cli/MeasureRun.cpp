// The measurement's commands where the measurement is built (Linux).
#include <unistd.h>

#include <csignal>
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
#include "UnitSession.h"

namespace {

using json = nlohmann::ordered_json;

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) { interrupted = true; }

}  // namespace

InterruptCatcher::InterruptCatcher() : previous_(std::signal(SIGINT, OnInterrupt)) { interrupted = false; }

InterruptCatcher::~InterruptCatcher() { std::signal(SIGINT, previous_); }

const std::atomic<bool>& InterruptCatcher::Interrupted() { return interrupted; }

ProgressReport::ProgressReport(std::string command) : command_(std::move(command)), terminal_(isatty(STDERR_FILENO) != 0)
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

void ProgressReport::Say(const std::string& line)
{
    if (terminal_ && drawn_) std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
    std::cerr << command_ << ": " << line << '\n';
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

void SaveMeasurementFiles(const MeasurementResult& result, const std::string& folder)
{
    try {
        for (const auto& path : SaveMeasurement(result, folder)) std::cerr << "Wrote " << path.string() << '\n';
    } catch (const MeasurementFileError& e) {
        throw CommandError(kExitBadInput, e.what());
    }
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

MeasurementResult RunMeasurement(const MeasureSettings& settings, UnitMutes* mutes)
{
    const InterruptCatcher catcher;
    ProgressReport report("measure");
    try {
        return Measure(settings, mutes, report.Callbacks(), InterruptCatcher::Interrupted());
    } catch (const MeasureError& e) {
        throw CommandError(MeasureExitCode(e), e.what());
    }
}

void PrintResult(const MeasurementResult& result)
{
    for (const OutputResult& output : result.outputs) {
        std::printf("%s: %s", OutputName(output.output), VerdictWithReplays(output).c_str());
        if (!output.response.hz.empty())
            std::printf(", arrival %.3f ms, peak %.1f dBFS, SNR %.1f dB", output.arrivalMs, output.peakDbfs,
                        output.snrDb.value_or(0.0));
        std::printf("\n");
    }
    std::printf("Arrival times %s.\n", result.absoluteTime ? "from the loopback (absolute)" : "on one time base");
}

// A verdict other than ok fails the command, each output's fault said.
void RequireAllOk(const MeasurementResult& result)
{
    if (!result.unrestored.empty()) throw CommandError(kExitUnitFailed, UnrestoredWarning(result.unrestored));
    std::string faults;
    for (const OutputResult& output : result.outputs)
        if (output.verdict != Verdict::Ok) faults += std::string("\n") + OutputName(output.output) + ": " + output.verdictText;
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
    const MeasurementResult result = RunMeasurement(settings, mutes ? &*mutes : nullptr);
    if (!args.folder.empty()) SaveMeasurementFiles(result, args.folder);
    if (args.json)
        std::cout << MeasurementResultJson(result).dump(2) << '\n';
    else
        PrintResult(result);
    RequireAllOk(result);
}
