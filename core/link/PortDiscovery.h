// The serial devices of this machine, as the system reports them: what a
// person needs to pick the port the unit hangs on.
#pragma once

#include <string>
#include <vector>

struct SerialPortInfo {
    std::string device;        // the path (or \\.\COMn name) to open
    std::string stableName;    // a name that survives replugging (/dev/serial/by-id/...), if any
    std::string driver;        // the kernel driver or the system's service name
    std::string vendorId;      // USB adapters: four hex digits
    std::string productId;     // USB adapters: four hex digits
    std::string manufacturer;  // as the adapter reports it
    std::string product;       // as the adapter reports it, or the system's friendly name
    std::string serialNumber;  // as the adapter reports it
};

// Every serial device the system knows of, in a stable order; empty when
// the platform has none or cannot tell. Implemented once per platform.
std::vector<SerialPortInfo> ListSerialPorts();
