#include "MeasureCommands.h"

#include <memory>

#include "MeasureRun.h"
#include "OnlineCommands.h"
#include "TuneSettings.h"

namespace {

// The sound card's options of a sequence, and its --out and --json.
void AddAudioOptions(CLI::App& command, MeasureArgs& args)
{
    MeasureSettings& settings = args.settings;
    command.add_option("--play", settings.playDevice,
                       "the sound device that plays into the unit (default: the system's)");
    command.add_option("--record", settings.recordDevice, "the sound device of the microphone (default: the system's)");
    command.add_option("--mic-channel", settings.microphoneChannel, "the microphone's input channel")
        ->capture_default_str();
    command.add_option("--loopback-channel", settings.loopbackChannel,
                       "an input wired to the output's first channel: arrival times from the sound card");
    command.add_option("--level", settings.sweep.levelDbfs, "the sweep's peak, " + RangeText(MeasureField::Level))
        ->capture_default_str();
    command.add_flag("--loud", settings.sweep.allowLoud, "allow a level above the usual range, up to 0 dBFS");
    command.add_option("--length", settings.sweep.seconds, "each sweep's length, " + RangeText(MeasureField::Length))
        ->capture_default_str();
    command.add_option("--rate", settings.sweep.rate, "the sample rate, " + RangeText(MeasureField::Rate))
        ->capture_default_str();
    command
        .add_option("--positions", settings.positions,
                    "measure at N microphone positions, " + RangeText(MeasureField::Positions) +
                        ", waiting for a line on standard input before each after the first; the results per "
                        "position, and their average")
        ->capture_default_str();
    command.add_option("--out", args.folder, "write the responses, impulse responses and summary.json here");
    command.add_flag("--json", args.json, "print the results as JSON");
}

void AddTuneCommand(CLI::App& app, std::string& port, CommandAction& action)
{
    auto args = std::make_shared<TuneArgs>();
    CLI::App* tune =
        app.add_subcommand("tune",
                           "Measure the system and propose the Sub's delay, polarity and level and both channels' PEQ; "
                           "with --apply apply them and measure again");
    tune->add_option("--port", port, kPortHelp);
    AddAudioOptions(*tune, args->audio);
    tune->add_option("--target", args->target, "target curve in the measurement's form (default: flat)");
    tune->add_option("--sub-offset", args->levels.subOffsetDb,
                     "the Sub this many dB above the tops, " + RangeText(TuneField::SubOffset))
        ->capture_default_str();
    tune->add_option("--max-rise", args->levels.maxRiseDb,
                     "no level rises by more than this many dB, " + RangeText(TuneField::MaxRise))
        ->capture_default_str();
    tune->add_flag("--apply", args->apply, "apply the proposal as one change, then measure again to verify it");
    tune->callback([&action, &port, args] { action = [&port, args] { TuneCommand(port, *args); }; });
}

}  // namespace

void AddMeasureCommands(CLI::App& app, std::string& port, CommandAction& action)
{
    CLI::App* audio = app.add_subcommand("audio", "The sound card");
    audio->require_subcommand(1);
    auto listJson = std::make_shared<bool>(false);
    CLI::App* devices = audio->add_subcommand("devices", "List the sound devices: channels, rates, the defaults");
    devices->add_flag("--json", *listJson, "Print them as JSON");
    devices->callback([&action, listJson] { action = [listJson] { ListAudioDevicesCommand(*listJson); }; });

    auto args = std::make_shared<MeasureArgs>();
    CLI::App* measure = app.add_subcommand(
        "measure", "Measure the outputs through the sound card, the unit's mutes set between the sweeps");
    measure->add_option("--port", port, kPortHelp);
    measure->add_option("--outputs", args->outputs, RangeText(MeasureField::Outputs) + ", comma-separated")
        ->capture_default_str();
    AddAudioOptions(*measure, *args);
    measure->add_flag("--no-unit", args->noUnit, "play the sweeps without a unit (no mutes are set)");
    measure->callback([&action, &port, args] { action = [&port, args] { MeasureCommand(port, *args); }; });
    AddTuneCommand(app, port, action);
}
