// "report": the settings report of one memory-file record as a PDF page.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "OfflineCommands.h"

void AddReportCommand(CLI::App& app, CommandAction& action);

struct ParameterModel;

// The settings report of a served unit's setting as PDF bytes, for `serve`'s
// GET /api/report.pdf (empty when it cannot be made). Qt's GUI starts on
// the first call, on its thread (the server's io thread: the main thread),
// and ends with the last copy of the maker.
std::function<std::string(const ParameterModel& setting, const std::string& unit, const std::string& device)>
UnitReportMaker();
