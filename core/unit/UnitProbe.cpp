#include "unit/UnitProbe.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "link/LineErrorText.h"
#include "model/Model.h"

ProbeResult ProbeDevice(const std::string& device, const LineFactory& makeLine)
{
    const auto start = std::chrono::steady_clock::now();
    ProbeResult result;
    result.device = device;
    ParameterModel model{};
    Link link(model, makeLine);
    link.SetDevice(device);
    if (!link.Open()) {
        result.lineError = link.LastError();
    } else {
        result.handshake = UnitHandshake(link);
        const bool answered = result.handshake.failure == HandshakeFailure::None;
        result.outcome = answered ? ProbeOutcome::UnitAnswered : ProbeOutcome::NoUnit;
        if (answered) UnitDisconnect(link);
        link.Close();
    }
    result.elapsedMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    return result;
}

std::vector<ProbeResult> ProbeDevices(const std::vector<std::string>& devices,
                                      const std::function<void(const ProbeResult&)>& finished,
                                      const LineFactory& makeLine)
{
    std::vector<ProbeResult> results(devices.size());
    std::mutex reporting;
    std::vector<std::thread> probes;
    probes.reserve(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i)
        probes.emplace_back([&, i] {
            results[i] = ProbeDevice(devices[i], makeLine);
            std::lock_guard lock(reporting);
            if (finished) finished(results[i]);
        });
    for (std::thread& probe : probes) probe.join();
    return results;
}

std::string DescribeProbe(const ProbeResult& result)
{
    switch (result.outcome) {
        case ProbeOutcome::UnitAnswered:
            return "unit answered: \"" + ConnectReplyIdentity(result.handshake.reply) + "\"";
        case ProbeOutcome::NoUnit:
            return "no unit: " + DescribeHandshakeFailure(result.handshake);
        case ProbeOutcome::NotOpened:
            break;
    }
    return (result.lineError.failure == LineFailure::Busy ? "busy, not opened: " : "not opened: ") +
           DescribeLineFailure(result.lineError, " ");
}
