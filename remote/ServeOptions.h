// How `quenbar-cli serve` runs: the units and their devices, where it
// listens, the token, and the pace of its checks on the units.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

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
};

// Whether the address is the local host's own (127.0.0.1 or ::1), the one
// kind of bind that may go without a token.
bool LocalHostOnly(const std::string& address);
