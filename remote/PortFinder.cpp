#include "PortFinder.h"

#include <boost/asio/post.hpp>

#include "PortList.h"
#include "link/PortName.h"

namespace {

using json = nlohmann::ordered_json;

// A port as a person names it: "COM5" rather than Windows' \\.\COM5.
std::string PortName(const std::string& device)
{
    constexpr std::string_view kWindowsDevice = "\\\\.\\";
    return device.starts_with(kWindowsDevice) ? device.substr(kWindowsDevice.size()) : device;
}

// "FTDI FT232R USB UART", else the driver, and the COM numbers that lead there.
std::string Description(const PortEntry& entry)
{
    const SerialPortInfo& info = entry.info;
    std::string text = info.manufacturer;
    if (!info.product.empty()) text += (text.empty() ? "" : " ") + info.product;
    if (text.empty()) text = info.driver;
    for (const ComPointer& com : entry.com) {
        const std::string name = "COM" + std::to_string(com.number);
        if (name == PortName(info.device)) continue;
        text += (text.empty() ? "" : ", ") + name + (com.byVariable ? " (" + ComVariableName(com.number) + ")" : "");
    }
    return text;
}

struct Candidate {
    json port;
    std::string probed;  // the device to probe; empty when served
};

Candidate CandidateOf(const std::string& device, std::string label, std::string description,
                      const PortFinder::Served& served)
{
    json port{{"device", PortName(device)}, {"label", std::move(label)}, {"description", std::move(description)}};
    const auto unit = served.find(CanonicalDevice(device));
    if (unit == served.end()) return {std::move(port), device};
    port["status"] = "served";
    port["detail"] = "served as " + unit->second;
    port["unit"] = unit->second;
    return {std::move(port), {}};
}

json Probed(std::vector<Candidate> candidates, const LineFactory& makeLine)
{
    std::vector<std::string> devices;
    for (const Candidate& candidate : candidates)
        if (!candidate.probed.empty()) devices.push_back(candidate.probed);
    const std::vector<ProbeResult> results = ProbeDevices(devices, {}, makeLine);
    json ports = json::array();
    std::size_t next = 0;
    for (Candidate& candidate : candidates) {
        if (!candidate.probed.empty()) {
            candidate.port["status"] = ProbeStatus(results[next]);
            candidate.port["detail"] = DescribeProbe(results[next]);
            ++next;
        }
        ports.push_back(std::move(candidate.port));
    }
    return ports;
}

}  // namespace

const char* ProbeStatus(const ProbeResult& result)
{
    if (result.outcome == ProbeOutcome::UnitAnswered) return "answered";
    if (result.outcome == ProbeOutcome::NoUnit) return "silent";
    switch (result.lineError.failure) {
        case LineFailure::Busy:
            return "held";
        case LineFailure::PermissionDenied:
            return "no-permission";
        case LineFailure::NoSuchDevice:
            return "no-device";
        case LineFailure::NotSerial:
            return "not-serial";
        default:
            return "error";
    }
}

PortFinder::PortFinder(boost::asio::any_io_executor home, LineFactory makeLine)
    : home_(std::move(home)), makeLine_(std::move(makeLine))
{
}

PortFinder::~PortFinder()
{
    thread_.stop();
    thread_.join();
}

void PortFinder::ListAll(Served served, Done done)
{
    Find(
        [this, served = std::move(served)] {
            std::vector<Candidate> candidates;
            for (const PortEntry& entry : LocalPorts()) {
                const std::string& device = entry.info.stableName.empty() ? entry.info.device : entry.info.stableName;
                candidates.push_back(CandidateOf(device, PortName(entry.info.device), Description(entry), served));
            }
            return Probed(std::move(candidates), makeLine_);
        },
        std::move(done));
}

void PortFinder::ProbeOne(std::string device, Served served, Done done)
{
    Find(
        [this, device = std::move(device), served = std::move(served)] {
            return Probed({CandidateOf(device, PortName(device), "", served)}, makeLine_);
        },
        std::move(done));
}

void PortFinder::Find(std::function<json()> find, Done done)
{
    // `done` is moved on, never copied: its last copy (a client's session
    // among what it holds) must end on the home thread, not on this one.
    boost::asio::post(thread_, [home = home_, find = std::move(find), done = std::move(done)]() mutable {
        json ports = find();
        boost::asio::post(home, [ports = std::move(ports), done = std::move(done)] { done(ports); });
    });
}
