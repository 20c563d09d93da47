// ListSerialPorts on Linux, over folders that can be named, so a test can
// lay out a system of its own.
#pragma once

#include <string>
#include <vector>

#include "link/PortDiscovery.h"

struct SerialPortFolders {
    std::string ttyClass = "/sys/class/tty";  // one entry per tty, as sysfs shows them
    std::string devices = "/dev";
    std::string byId = "/dev/serial/by-id";  // stable names, made by udev
};

// The ttys that have a device behind them (a serial port with no UART
// behind it, sysfs "type" 0, is left out), in natural order of their names.
std::vector<SerialPortInfo> ListSerialPortsIn(const SerialPortFolders& folders);
