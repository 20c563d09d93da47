// The serial devices of a macOS system: the call-out devices /dev/cu.*,
// which open without waiting for a carrier.
#ifdef __APPLE__

#include <algorithm>
#include <filesystem>

#include "link/PortDiscovery.h"

std::vector<SerialPortInfo> ListSerialPorts()
{
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("cu.", 0) != 0) continue;
        SerialPortInfo port;
        port.device = entry.path().string();
        port.product = name.substr(3);  // the system names the device after the adapter
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.device < b.device; });
    return ports;
}

#endif
