// How `quenbar-cli serve` runs: the units and their devices, where it
// listens, the token, the pace of its checks on the units, and the PEQ fit
// it runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tuning/PeqFit.h"

struct UnitTiming {
    std::chrono::milliseconds check{2000};  // quiet this long: read the setting back
    std::chrono::milliseconds retry{1000};  // between attempts to connect again
};

// One unit served: the name it is addressed by and its resolved device.
struct ServedUnit {
    std::string name;
    std::string device;
};

struct ParameterModel;

// The settings report (PDF) of a unit's setting, as the command line's report
// library makes it: the unit's name and device say where the setting comes
// from. Empty when it cannot be made.
using ReportMaker =
    std::function<std::string(const ParameterModel& setting, const std::string& unit, const std::string& device)>;

struct ServeOptions {
    std::vector<ServedUnit> units;  // the first answers today's paths
    std::string address = "127.0.0.1";
    std::uint16_t port = 8074;  // 0: any free port
    std::string token;          // empty: no token, which the local host only allows
    UnitTiming timing;
    // The PEQ fit of POST /api/fit (a test may slow it down).
    std::function<FitResult(const LevelCurve&, const FitOptions&)> fit = FitPeq;
    // Serve even when no unit can be reached (or none is named): the page
    // then finds the unit's port and adds it (POST /api/units).
    bool serveWithoutUnits = false;
    // The port served last, and what remembers a unit's port once it has
    // been added through the API (both empty: nothing is remembered).
    std::string lastServed{};
    std::function<void(const std::string& device)> remember{};
    ReportMaker report{};         // none: GET /api/report.pdf answers 501
    std::size_t logLines = 2000;  // each unit's communication log window
};

// Whether the address is the local host's own (127.0.0.1 or ::1), the one
// kind of bind that may go without a token.
bool LocalHostOnly(const std::string& address);
