// Commands that find the unit: the serial devices of this machine, and
// where on them a unit answers.
#pragma once

#include "OfflineCommands.h"

// Adds "ports" and "probe"; the one chosen on the command line sets `action`.
void AddPortCommands(CLI::App& app, CommandAction& action);
