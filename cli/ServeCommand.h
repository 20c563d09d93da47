// quenbar-cli serve: the network remote (RemoteServer.h) as a command.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "OfflineCommands.h"

// Adds "serve"; chosen on the command line, it sets `action`. `port` is
// read when it runs (given before or after "serve", as for the other
// commands that talk to the unit).
void AddServeCommand(CLI::App& app, std::string& port, CommandAction& action);
