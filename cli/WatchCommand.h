// "watch": the live transfer function of whatever plays, from two inputs of
// the sound card (the reference and the microphone), until Ctrl+C or for
// --seconds; against a stored trace with --against. It needs no unit.
#pragma once

#include <string>

#include "OfflineCommands.h"

void AddWatchCommand(CLI::App& app, CommandAction& action);
