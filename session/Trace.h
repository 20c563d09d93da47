// --trace: the traffic of every unit session, decoded, on standard error.
#pragma once

#include <memory>
#include <string>

#include "link/LinkTraffic.h"

// --trace of the command line: every unit session from then on traces.
void TraceUnitSessions();

// What a unit session attaches to its link: the standard-error trace when
// --trace was given, else nothing.
TrafficObserver* SessionTraceObserver();

// The trace of one of several links traced at once (the remote's units,
// each on a worker thread of its own): a decoder of its own, its lines led
// by `unit` and never mixed with another's. Null unless --trace was given.
std::unique_ptr<TrafficObserver> UnitTraceObserver(const std::string& unit);
