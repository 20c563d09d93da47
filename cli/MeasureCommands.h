// Measuring the system through the sound card: "audio devices" lists the
// sound devices, "measure" plays a sweep through each output asked for, the
// unit's mutes set between sweeps over the port of --port; "tune" measures
// all four, proposes the Sub's alignment and level and both channels' PEQ,
// and with --apply applies them and measures again to verify.
#pragma once

#include <string>

#include "OfflineCommands.h"

// Adds "audio devices", "measure" and "tune"; `port` is read when the command runs.
void AddMeasureCommands(CLI::App& app, std::string& port, CommandAction& action);
