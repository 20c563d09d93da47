// Commands that talk to the unit over the port named with --port. Each one
// opens the port, runs the connect sequence, does its work and disconnects.
#pragma once

#include <string>

#include "OfflineCommands.h"

inline constexpr char kPortHelp[] =
    "serial port of the unit: COMn, a device path, or a serial server's tcp://HOST:PORT or rfc2217://HOST:PORT";

// Adds dump, set, store, recall, delete, save, load, reset and logo, each
// with its own --port option beside the program's; the one chosen on the
// command line sets `action`. `port` is read when it runs.
void AddOnlineCommands(CLI::App& app, std::string& port, CommandAction& action);
