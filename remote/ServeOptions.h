// How `quenbar-cli serve` runs: the units and their devices, where it
// listens, the token, the pace of its checks on the units, and the PEQ fit
// it runs.
#pragma once

#include <chrono>
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

struct ServeOptions {
    std::vector<ServedUnit> units;  // the first answers today's paths
    std::string address = "127.0.0.1";
    std::uint16_t port = 8074;  // 0: any free port
    std::string token;          // empty: no token, which the local host only allows
    UnitTiming timing;
    // The PEQ fit of POST /api/fit (a test may slow it down).
    std::function<FitResult(const Measurement&, const FitOptions&)> fit = FitPeq;
};

// Whether the address is the local host's own (127.0.0.1 or ::1), the one
// kind of bind that may go without a token.
bool LocalHostOnly(const std::string& address);
