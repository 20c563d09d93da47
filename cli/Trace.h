// --trace: the traffic of every unit session, decoded, on standard error.
#pragma once

#include <CLI/CLI.hpp>

#include "link/LinkTraffic.h"

void AddTraceOption(CLI::App& app);

// What a unit session attaches to its link: the standard-error trace when
// --trace was given, else nothing.
TrafficObserver* SessionTraceObserver();
