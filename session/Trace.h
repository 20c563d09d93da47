// --trace: the traffic of every unit session, decoded, on standard error.
#pragma once

#include "link/LinkTraffic.h"

// --trace of the command line: every unit session from then on traces.
void TraceUnitSessions();

// What a unit session attaches to its link: the standard-error trace when
// --trace was given, else nothing.
TrafficObserver* SessionTraceObserver();
