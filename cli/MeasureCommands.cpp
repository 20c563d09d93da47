#include "MeasureCommands.h"

#include <memory>

#include "OnlineCommands.h"
#include "PositionsMeasurement.h"

namespace {

// The sound card's options of a sequence, and its --out and --json.
void AddAudioOptions(CLI::App& command, MeasureArgs& args)
{
    command.add_option("--play", args.playDevice, "the sound device that plays into the unit (default: the system's)");
    command.add_option("--record", args.recordDevice, "the sound device of the microphone (default: the system's)");
    command.add_option("--mic-channel", args.microphoneChannel, "the microphone's input channel")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    command.add_option("--loopback-channel", args.loopbackChannel,
                       "an input wired to the output's first channel: arrival times from the sound card")
        ->check(CLI::PositiveNumber);
    command.add_option("--level", args.levelDbfs, "the sweep's peak in dBFS (above -6 only with --loud)")
        ->capture_default_str();
    command.add_flag("--loud", args.loud, "allow a level above -6 dBFS");
    command.add_option("--length", args.seconds, "each sweep's length in seconds")
        ->capture_default_str()
        ->check(CLI::Range(0.5, 30.0));
    command.add_option("--rate", args.rate, "the sample rate in Hz")->capture_default_str()->check(
        CLI::IsMember({44100, 48000, 96000}));
    command.add_option("--out", args.folder, "write the responses, impulse responses and summary.json here");
    command.add_flag("--json", args.json, "print the results as JSON");
}

void AddTuneCommand(CLI::App& app, std::string& port, CommandAction& action)
{
    auto args = std::make_shared<TuneArgs>();
    CLI::App* tune = app.add_subcommand(
        "tune", "Measure the system and propose the Sub's delay, polarity and level and both channels' PEQ; "
                "with --apply apply them and measure again");
    tune->add_option("--port", port, kPortHelp);
    AddAudioOptions(*tune, args->audio);
    tune->add_option("--target", args->target, "target curve in the measurement's form (default: flat)");
    tune->add_option("--sub-offset", args->subOffsetDb, "the Sub this many dB above the tops")->capture_default_str();
    tune->add_option("--max-rise", args->maxRiseDb, "no level rises by more than this many dB")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
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
    measure->add_option("--outputs", args->outputs, "left, right, sub and system, any of them, comma-separated")
        ->capture_default_str();
    AddAudioOptions(*measure, *args);
    measure->add_flag("--no-unit", args->noUnit, "play the sweeps without a unit (no mutes are set)");
    measure->add_option("--positions", args->positions,
                        "measure at N microphone positions, waiting for a line on standard input before each "
                        "after the first; the results per position, and their average")
        ->capture_default_str()
        ->check(CLI::Range(1, kMostPositions));
    measure->callback([&action, &port, args] { action = [&port, args] { MeasureCommand(port, *args); }; });
    AddTuneCommand(app, port, action);
}
