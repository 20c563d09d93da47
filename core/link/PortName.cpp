#include "link/PortName.h"

#include <cctype>
#include <cstdlib>

#include "link/NetworkAddress.h"

namespace {

// The n of "COMn" in any case, or 0 when the text is not such a name.
int ComNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number <= kMaxComNumber ? number : 0;
}

// A name of the system's device namespace: "\\.\..." on Windows, an
// absolute path elsewhere.
bool IsDevicePath(const std::string& name)
{
#ifdef _WIN32
    return name.rfind("\\\\.\\", 0) == 0;
#else
    return !name.empty() && name.front() == '/';
#endif
}

}  // namespace

std::string ComVariableName(int comNumber) { return "QUENBAR_COM" + std::to_string(comNumber); }

std::optional<std::string> DeviceFromComVariable(int comNumber)
{
    const char* device = std::getenv(ComVariableName(comNumber).c_str());
    if (device && *device) return device;
    return std::nullopt;
}

std::string ResolveComDevice(int comNumber, const std::string& configuredPath)
{
    if (auto fromEnvironment = DeviceFromComVariable(comNumber)) return *fromEnvironment;
    if (!configuredPath.empty()) return configuredPath;
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(comNumber);
#else
    return "/dev/ttyS" + std::to_string(comNumber - 1);
#endif
}

std::optional<std::string> ResolvePortName(const std::string& name)
{
    if (IsDevicePath(name) || ParseNetworkAddress(name)) return name;
    if (const int number = ComNumber(name); number > 0) return ResolveComDevice(number);
    return std::nullopt;
}
