// "eq import" and "eq fit": a channel's three PEQ bands from an equaliser
// file or fitted to a measurement, printed as a proposal and, when asked,
// sent to the unit (--port) or written into a memory of a memory file
// (--memory-file F --slot N).
#pragma once

#include <string>

#include "OfflineCommands.h"
#include "tuning/LevelCurveFile.h"

// `port` is the program's --port; each command has its own as well.
void AddEqCommands(CLI::App& app, std::string& port, CommandAction& action);

// A curve in the measurement's form (a target, as eq fit --target reads it);
// CommandError 2 naming the file when it cannot be read or parsed.
LevelCurve ReadCurveFile(const std::string& path);
