// Commands that find the unit: the serial devices of this machine, and
// where on them a unit answers.
#pragma once

#include "OfflineCommands.h"

// Adds "ports" and "probe"; the one chosen on the command line sets `action`.
void AddPortCommands(CLI::App& app, CommandAction& action);

// The device of the one unit that answers the handshake among this machine's
// serial devices (those `ports` lists). Refused (exit 3), naming the devices
// tried, when none or several answer.
std::string FindTheUnit();
