// A look of the live watch as JSON and as text. As JSON, the one shape the command line prints a
// line of and the page is pushed: {"t","delayMs","hz","db","phaseDeg",
// "coherence","known","alarms":[{"hz","deviationDb","text"}],"storedOffsetDb"};
// "storedOffsetDb" (null without a stored trace) is what the live trace lies
// above the stored one over all, by which a face moves the stored one; "delayMs" is
// null while no delay is found; "known" is 1 where enough was averaged to
// tell the point's coherence, 0 where not (its coherence is 0 meanwhile).
#pragma once

#include <nlohmann/json.hpp>

#include "LiveWatch.h"

// How finely the numbers are written: Fine for the command line's lines
// (what tools compute with), Screen for the page, pushed several times a
// second to a phone: what a curve on a screen shows (the points' frequencies
// to three figures, which tell 1/24 octave apart; levels to 0.1 dB, phases to
// a degree).
enum class WatchJsonDetail { Fine, Screen };

nlohmann::ordered_json WatchLookJson(const WatchLook& look, WatchJsonDetail detail = WatchJsonDetail::Fine);

// The trace compared with, at the live trace's points, as the page draws
// it: {"hz", "db"} at the Screen detail, "db" null beyond its ends.
nlohmann::ordered_json StoredTraceJson(const LevelCurve& stored, const std::vector<double>& points);

// The look's trace as a measurement text (what --against, eq fit and the
// tuning read): its trusted points only. Empty when it has none.
std::string LiveTraceText(const WatchLook& look);
