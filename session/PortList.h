// The serial devices a person may pick the unit's port among: the system's
// own (PortDiscovery.h), then those that QUENBAR_COM<n> variables name and
// the system does not list (a pseudo-terminal, a network line), each with
// the COM numbers that lead to it now. The command line's `ports` and
// `probe` and the remote's port list show the same.
#pragma once

#include <string>
#include <vector>

#include "link/PortDiscovery.h"

// A COM number that leads to a device now, and whether a QUENBAR_COM<n>
// variable (rather than the default /dev/ttyS<n-1>) makes it so.
struct ComPointer {
    int number = 0;
    bool byVariable = false;
};

struct PortEntry {
    SerialPortInfo info;
    std::vector<ComPointer> com;
};

std::vector<PortEntry> LocalPorts();

// The device a path leads to (symbolic links followed), to tell whether two
// names are one device; a network line stays as it is.
std::string CanonicalDevice(const std::string& device);
