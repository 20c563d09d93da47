// The serial devices of a Windows machine: the ports the serial drivers
// entered in the device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), each with
// the friendly name, maker, driver service and USB identity of its Plug and
// Play record in the Ports class, where the system keeps one.
#include <windows.h>
// After windows.h:
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "link/PortDiscovery.h"
#include "link/WindowsText.h"

namespace {

constexpr DWORD kTextChars = 512;

std::string DevicePathOf(const std::string& portName) { return "\\\\.\\" + portName; }

// The port names ("COM3") in the device map.
std::vector<std::string> DeviceMapPortNames()
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[kTextChars];
        wchar_t portName[kTextChars] = {};
        DWORD valueNameChars = kTextChars;
        DWORD portNameBytes = sizeof portName - sizeof(wchar_t);  // room for the terminating zero
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, valueName, &valueNameChars, nullptr, &type,
                                             reinterpret_cast<BYTE*>(portName), &portNameBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS && type == REG_SZ && portName[0] != L'\0') names.push_back(Utf8FromWide(portName));
    }
    RegCloseKey(key);
    return names;
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[kTextChars] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return Utf8FromWide(text);
}

// The "PortName" the device's own registry key holds, e.g. "COM3".
std::string DevicePortName(HDEVINFO devices, SP_DEVINFO_DATA& device)
{
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t portName[kTextChars] = {};
    DWORD bytes = sizeof portName - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? Utf8FromWide(portName) : std::string();
}

// The four hex digits after `tag` ("VID_") in a device instance ID.
std::string HexField(const std::string& instanceId, const std::string& tag)
{
    const std::size_t at = instanceId.find(tag);
    if (at == std::string::npos || at + tag.size() + 4 > instanceId.size()) return {};
    std::string digits = instanceId.substr(at + tag.size(), 4);
    for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digits;
}

// A USB device's instance ID reads USB\VID_0403&PID_6001\<serial number>;
// one without a serial number has an ID the system made up (with '&' in it).
void AddUsbIdentity(const std::string& instanceId, SerialPortInfo& port)
{
    port.vendorId = HexField(instanceId, "VID_");
    port.productId = HexField(instanceId, "PID_");
    const std::size_t lastSeparator = instanceId.rfind('\\');
    if (instanceId.rfind("USB\\", 0) != 0 || lastSeparator == std::string::npos) return;
    const std::string last = instanceId.substr(lastSeparator + 1);
    if (last.find('&') == std::string::npos) port.serialNumber = last;
}

std::string InstanceId(HDEVINFO devices, SP_DEVINFO_DATA& device)
{
    wchar_t id[kTextChars] = {};
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, id, kTextChars - 1, nullptr)) return {};
    return Utf8FromWide(id);
}

// Fills in what the Ports class's device records say about the listed ports.
void AddDeviceRecords(std::vector<SerialPortInfo>& ports)
{
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const std::string path = DevicePathOf(DevicePortName(devices, device));
        const auto port =
            std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo& p) { return p.device == path; });
        if (port == ports.end()) continue;
        port->product = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
        port->manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
        port->driver = DeviceProperty(devices, device, SPDRP_SERVICE);
        AddUsbIdentity(InstanceId(devices, device), *port);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

// COM2 before COM10.
int ComNumber(const std::string& device)
{
    const std::size_t digits = device.find_first_of("0123456789");
    return digits == std::string::npos ? 0 : std::atoi(device.c_str() + digits);
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts()
{
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : DeviceMapPortNames()) {
        SerialPortInfo port;
        port.device = DevicePathOf(name);
        ports.push_back(port);
    }
    AddDeviceRecords(ports);
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return std::make_pair(ComNumber(a.device), a.device) < std::make_pair(ComNumber(b.device), b.device);
    });
    return ports;
}
