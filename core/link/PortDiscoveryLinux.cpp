// The serial devices of a Linux system, as sysfs tells: every tty with a
// device behind it, its driver, and for a USB adapter the ids and strings
// the adapter reports; the stable name from udev's /dev/serial/by-id.
#ifdef __linux__

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "link/PortDiscoveryLinux.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLevelsUp = 6;  // from the tty's device up to its USB device or its driver
constexpr const char* kNoUart = "0";

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// "ttyS2" before "ttyS10": digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
            const unsigned long long x = std::stoull(a.substr(i, endA - i)), y = std::stoull(b.substr(j, endB - j));
            if (x != y) return x < y;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// The ids and strings of the USB device the tty hangs on, if it does.
void ReadUsbDetails(const fs::path& device, SerialPortInfo& port)
{
    fs::path folder = device;
    for (int level = 0; level < kLevelsUp && folder.has_relative_path(); ++level, folder = folder.parent_path()) {
        if (!fs::exists(folder / "idVendor")) continue;
        port.vendorId = FirstLine(folder / "idVendor");
        port.productId = FirstLine(folder / "idProduct");
        port.manufacturer = FirstLine(folder / "manufacturer");
        port.product = FirstLine(folder / "product");
        port.serialNumber = FirstLine(folder / "serial");
        return;
    }
}

// The driver that serves the port. Since Linux 6.5 the serial core puts
// devices of its own (bus "serial-base": "port", "ctrl") between the tty and
// the hardware's device: their drivers say nothing and are passed over.
std::string DriverOf(fs::path device)
{
    for (int level = 0; level < kLevelsUp && device.has_relative_path(); ++level, device = device.parent_path()) {
        std::error_code error;
        const fs::path driver = fs::canonical(device / "driver", error);
        if (error) return {};
        if (driver.parent_path().parent_path().filename() != "serial-base") return driver.filename().string();
    }
    return {};
}

std::string StableNameOf(const fs::path& device, const std::string& byIdFolder)
{
    std::error_code error;
    const fs::path target = fs::weakly_canonical(device, error);
    for (const fs::directory_entry& link : fs::directory_iterator(byIdFolder, error))
        if (fs::weakly_canonical(link.path(), error) == target) return link.path().string();
    return {};
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPortsIn(const SerialPortFolders& folders)
{
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    for (const fs::directory_entry& tty : fs::directory_iterator(folders.ttyClass, error)) {
        const fs::path device = fs::canonical(tty.path() / "device", error);
        if (error) continue;  // a virtual terminal, the console, a pseudo-terminal
        if (fs::exists(tty.path() / "type") && FirstLine(tty.path() / "type") == kNoUart) continue;
        SerialPortInfo port;
        const std::string name = tty.path().filename().string();
        port.device = (fs::path(folders.devices) / name).string();
        port.stableName = StableNameOf(port.device, folders.byId);
        port.driver = DriverOf(device);
        ReadUsbDetails(device, port);
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return NaturalLess(a.device, b.device); });
    return ports;
}

std::vector<SerialPortInfo> ListSerialPorts() { return ListSerialPortsIn({}); }

#endif
