#include "PortList.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "link/NetworkAddress.h"
#include "link/PortName.h"

std::string CanonicalDevice(const std::string& device)
{
    if (NamesNetworkLine(device)) return device;  // no file behind it
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(device, error);
    return error ? device : canonical.string();
}

std::vector<PortEntry> LocalPorts()
{
    std::vector<PortEntry> entries;
    std::vector<std::string> targets;
    for (SerialPortInfo& info : ListSerialPorts()) {
        targets.push_back(CanonicalDevice(info.device));
        entries.push_back({std::move(info), {}});
    }
    for (int n = 1; n <= kMaxComNumber; ++n) {
        const std::optional<std::string> variable = DeviceFromComVariable(n);
        const std::string target = CanonicalDevice(variable ? *variable : ResolveComDevice(n));
        const auto found = std::find(targets.begin(), targets.end(), target);
        if (found != targets.end()) {
            entries[static_cast<std::size_t>(found - targets.begin())].com.push_back({n, variable.has_value()});
        } else if (variable) {
            targets.push_back(target);
            SerialPortInfo named;
            named.device = *variable;
            entries.push_back({std::move(named), {{n, true}}});
        }
    }
    return entries;
}
