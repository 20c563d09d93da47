// Commands that turn memory files into their JSON form and back
// (memfile/MemoryFileJson.h), without a unit.
#pragma once

#include "OfflineCommands.h"

// Adds "export" and "import"; the one chosen on the command line sets `action`.
void AddPresetCommands(CLI::App& app, CommandAction& action);
