#include "PortCommands.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "CommandError.h"
#include "PortList.h"
#include "UnitSession.h"
#include "link/PortDiscovery.h"
#include "link/PortName.h"
#include "unit/UnitProbe.h"

namespace {

using json = nlohmann::ordered_json;

std::string ComText(const ComPointer& com)
{
    const std::string name = "COM" + std::to_string(com.number);
    return com.byVariable ? name + " (" + ComVariableName(com.number) + ")" : name;
}

// "/dev/ttyUSB0  /dev/serial/by-id/usb-...  driver ftdi_sio  usb 0403:6001
// "FTDI" "FT232R USB UART"  serial A1  COM3": what is known, nothing else.
std::string PortLine(const PortEntry& entry)
{
    const SerialPortInfo& info = entry.info;
    std::string line = info.device;
    const auto add = [&line](const std::string& text) { line += "  " + text; };
    if (!info.stableName.empty()) add(info.stableName);
    if (!info.driver.empty()) add("driver " + info.driver);
    if (!info.vendorId.empty()) add("usb " + info.vendorId + ":" + info.productId);
    if (!info.manufacturer.empty()) add("\"" + info.manufacturer + "\"");
    if (!info.product.empty()) add("\"" + info.product + "\"");
    if (!info.serialNumber.empty()) add("serial " + info.serialNumber);
    for (const ComPointer& com : entry.com) add(ComText(com));
    return line;
}

json PortJson(const PortEntry& entry)
{
    const SerialPortInfo& info = entry.info;
    json com = json::array();
    for (const ComPointer& pointer : entry.com)
        com.push_back({{"port", "COM" + std::to_string(pointer.number)},
                       {"variable", pointer.byVariable ? json(ComVariableName(pointer.number)) : json(nullptr)}});
    return {{"device", info.device},     {"stableName", info.stableName},     {"driver", info.driver},
            {"vendorId", info.vendorId}, {"productId", info.productId},       {"manufacturer", info.manufacturer},
            {"product", info.product},   {"serialNumber", info.serialNumber}, {"com", com}};
}

void ListPorts(bool asJson)
{
    const std::vector<PortEntry> entries = LocalPorts();
    if (asJson) {
        json ports = json::array();
        for (const PortEntry& entry : entries) ports.push_back(PortJson(entry));
        std::cout << ports.dump(2) << '\n';
        return;
    }
    for (const PortEntry& entry : entries) std::cout << PortLine(entry) << '\n';
}

// The devices to probe: those named (COMn or a path), else every device `ports` lists.
std::vector<std::string> ProbeCandidates(const std::vector<std::string>& named)
{
    std::vector<std::string> devices;
    for (const std::string& name : named) {
        devices.push_back(PortDevice(name));
    }
    if (named.empty())
        for (const PortEntry& entry : LocalPorts()) devices.push_back(entry.info.device);
    return devices;
}

void Probe(const std::vector<std::string>& named)
{
    const std::vector<std::string> devices = ProbeCandidates(named);
    if (devices.empty()) throw CommandError(kExitUnitFailed, "No serial devices found.");
    const auto start = std::chrono::steady_clock::now();
    const std::vector<ProbeResult> results = ProbeDevices(devices);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    for (const ProbeResult& result : results)
        std::cout << result.device << ": " << DescribeProbe(result) << " (" << result.elapsedMs << " ms)\n";
    std::cout << devices.size() << (devices.size() == 1 ? " device" : " devices") << " probed in " << elapsed
              << " ms.\n";
    const bool found = std::any_of(results.begin(), results.end(),
                                   [](const ProbeResult& r) { return r.outcome == ProbeOutcome::UnitAnswered; });
    if (!found) throw CommandError(kExitUnitFailed, "No unit answered.");
}

std::string JoinedDevices(const std::vector<std::string>& devices)
{
    std::string joined;
    for (const std::string& device : devices) joined += (joined.empty() ? "" : ", ") + device;
    return joined;
}

}  // namespace

std::string FindTheUnit()
{
    const std::vector<std::string> devices = ProbeCandidates({});
    if (devices.empty())
        throw CommandError(kExitUnitFailed, "No serial devices found: connect the unit, or name its port with --port.");
    std::vector<std::string> answered;
    for (const ProbeResult& result : ProbeDevices(devices))
        if (result.outcome == ProbeOutcome::UnitAnswered) answered.push_back(result.device);
    if (answered.size() == 1) return answered.front();
    if (answered.empty())
        throw CommandError(kExitUnitFailed, "No unit answered on " + JoinedDevices(devices) +
                                                ": check that it is on and connected, or name its port with --port.");
    throw CommandError(kExitUnitFailed, "Units answered on " + JoinedDevices(answered) + ": name one with --port.");
}

void AddPortCommands(CLI::App& app, CommandAction& action)
{
    auto asJson = std::make_shared<bool>(false);
    CLI::App* ports =
        app.add_subcommand("ports", "List the serial devices of this machine and the COM numbers that lead to them");
    ports->add_flag("--json", *asJson, "Print the list as JSON");
    ports->callback([&action, asJson] { action = [asJson] { ListPorts(*asJson); }; });

    auto named = std::make_shared<std::vector<std::string>>();
    CLI::App* probe = app.add_subcommand(
        "probe", "Look for the unit: the handshake on each device at once (all serial devices when none are named)");
    probe->add_option("DEVICE", *named, "COMn, a device path, tcp://HOST:PORT or rfc2217://HOST:PORT");
    probe->callback([&action, named] { action = [named] { Probe(*named); }; });
}
