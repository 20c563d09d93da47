// "report": the settings report of one memory-file record as a PDF page.
#pragma once

#include <CLI/CLI.hpp>

#include "OfflineCommands.h"

void AddReportCommand(CLI::App& app, CommandAction& action);
