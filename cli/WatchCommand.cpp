#include "WatchCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "CommandError.h"
#include "EqCommands.h"
#include "LiveWatch.h"
#include "InterruptCatcher.h"
#include "WatchJson.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A look ten times a second; a JSON line at every fourth (more than twice
// a second), a status line at every tenth, and either at once at a look
// whose alarms differ from the last line's: an alarm is told a beat after
// it stands, not up to a line later.
constexpr auto kLookEvery = 100ms;
constexpr int kLooksPerJsonLine = 4;
constexpr int kLooksPerStatusLine = 10;

struct WatchArgs {
    WatchSettings settings;
    std::string against;
    std::string save;
    double seconds = 0.0;  // 0: until Ctrl+C
    bool json = false;
};

std::string StatusLine(const WatchLook& look)
{
    std::string line = "watch: " + WatchStatus(look.seconds, look.delaySeconds, look.coherentShare);
    for (const WatchAlarm& alarm : look.alarms) line += "; ALARM " + alarm.text;
    return line;
}

void SaveTrace(const WatchLook& look, const std::string& path)
{
    const std::string text = LiveTraceText(look);
    if (text.empty()) throw CommandError(kExitMeasureFailed, "No trace was saved: none of its points was coherent.");
    std::ofstream file(path, std::ios::binary);
    if (!(file << text) || !file.flush()) throw CommandError(kExitBadInput, "Could not write " + path + ".");
    std::cerr << "Wrote " << path << '\n';
}

void RunWatch(const WatchArgs& args)
{
    std::optional<LevelCurve> stored;
    if (!args.against.empty()) stored = ReadCurveFile(args.against);
    try {
        LiveWatch watch(args.settings);
        watch.SetStored(stored);
        const InterruptCatcher catcher;
        watch.Start();
        const Clock::time_point start = Clock::now();
        Clock::time_point due = start;
        WatchLook look;
        std::vector<WatchAlarm> told;
        for (int looks = 1; !InterruptCatcher::Interrupted(); ++looks) {
            // On a steady beat, the look's own time inside it; one that
            // overran its beat starts the next at once.
            due = std::max(due + kLookEvery, Clock::now());
            std::this_thread::sleep_until(due);
            look = watch.Look();
            if (looks % (args.json ? kLooksPerJsonLine : kLooksPerStatusLine) == 0 || !SameAlarms(look.alarms, told)) {
                std::cout << (args.json ? WatchLookJson(look).dump() : StatusLine(look)) << std::endl;
                told = look.alarms;
            }
            if (args.seconds > 0.0 && Clock::now() - start >= std::chrono::duration<double>(args.seconds)) break;
        }
        if (!args.save.empty()) SaveTrace(look, args.save);
    } catch (const std::invalid_argument& e) {
        throw CommandError(kExitBadInput, e.what());
    } catch (const AudioError& e) {
        throw CommandError(kExitMeasureFailed, e.what());
    }
}

}  // namespace

void AddWatchCommand(CLI::App& app, CommandAction& action)
{
    auto args = std::make_shared<WatchArgs>();
    CLI::App* watch = app.add_subcommand(
        "watch", "Watch the system on whatever plays: the transfer function from the reference to the microphone, "
                 "its coherence and delay, and alarms against a stored trace (no unit needed)");
    watch->add_option("--record", args->settings.recordDevice, "the sound device of both inputs (default: the system's)");
    watch->add_option("--mic-channel", args->settings.microphoneChannel, "the microphone's input channel")
        ->capture_default_str();
    watch->add_option("--reference-channel", args->settings.referenceChannel,
                      "the input channel of the reference (the feed to the unit)")
        ->capture_default_str();
    watch->add_option("--rate", args->settings.rate, "the sample rate in Hz")->capture_default_str();
    watch->add_option("--average", args->settings.averageSeconds, "the averaging's time constant in seconds")
        ->capture_default_str();
    watch->add_option("--against", args->against, "a stored trace (a measurement's text) to compare with");
    watch->add_option("--save", args->save, "at the end, write the trace's coherent points here (a measurement's text)");
    watch->add_option("--seconds", args->seconds, "stop after this many seconds (default: at Ctrl+C)")
        ->check(CLI::NonNegativeNumber);
    watch->add_flag("--json", args->json, "print a JSON object a line, more than twice a second");
    watch->callback([&action, args] { action = [args] { RunWatch(*args); }; });
}
