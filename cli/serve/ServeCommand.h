// quenbar-cli serve: the network remote (RemoteServer.h) as a command.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "OfflineCommands.h"

// Adds "serve"; chosen on the command line, it sets `action`. `port` is read when it runs.
void AddServeCommand(CLI::App& app, const std::string& port, CommandAction& action);
