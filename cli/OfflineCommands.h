// Commands that work on a memory file alone, without a unit.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

using CommandAction = std::function<void()>;

// Adds "inspect" and "response"; the one chosen on the command line sets
// `action` to what it runs.
void AddOfflineCommands(CLI::App& app, CommandAction& action);
