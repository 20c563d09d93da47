// A look of the live watch as JSON and as text. As JSON, the one shape the command line prints a
// line of and the page is pushed: {"t","delayMs","hz","db","phaseDeg",
// "coherence","alarms":[{"hz","deviationDb","text"}]}; "delayMs" is null
// while no delay is found.
#pragma once

#include <nlohmann/json.hpp>

#include "LiveWatch.h"

nlohmann::ordered_json WatchLookJson(const WatchLook& look);

// The look's trace as a measurement text (what --against, eq fit and the
// tuning read): its trusted points only. Empty when it has none.
std::string LiveTraceText(const WatchLook& look);
