// Measuring the system through the sound card: "audio devices" lists the
// sound devices, "measure" plays a sweep through each output asked for, the
// unit's mutes set between sweeps over the port of --port; "tune" measures
// all four, proposes the Sub's alignment and level and both channels' PEQ,
// and with --apply applies them and measures again to verify.
#pragma once

#include <optional>
#include <string>

#include "OfflineCommands.h"

struct MeasureArgs {
    std::string outputs = "left,right,sub,system";
    std::string playDevice;
    std::string recordDevice;
    int microphoneChannel = 1;
    std::optional<int> loopbackChannel;
    double levelDbfs = -20.0;
    bool loud = false;
    double seconds = 2.0;
    int rate = 48000;
    std::string folder;
    bool json = false;
    bool noUnit = false;
    int positions = 1;  // microphone positions, the person asked between them
};

// "tune": the audio options of measure (its outputs are always all four).
struct TuneArgs {
    MeasureArgs audio;
    std::string target;  // a target curve file, as eq fit --target
    double subOffsetDb = 0.0;
    double maxRiseDb = 6.0;
    bool apply = false;
};

// Adds "audio devices", "measure" and "tune"; `port` is read when the command runs.
void AddMeasureCommands(CLI::App& app, std::string& port, CommandAction& action);

// What the commands run: on Linux the measurement, in a build without it
// (Windows) a plain refusal.
void ListAudioDevicesCommand(bool json);
void MeasureCommand(const std::string& port, const MeasureArgs& args);
void TuneCommand(const std::string& port, const TuneArgs& args);
