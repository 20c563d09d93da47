#include "Trace.h"

#include <iostream>
#include <mutex>

#include "link/TrafficDecoder.h"

namespace {

std::mutex& LineMutex()
{
    static std::mutex mutex;
    return mutex;
}

class StandardErrorTrace final : public TrafficObserver {
public:
    explicit StandardErrorTrace(std::string lead = {}) : lead_(std::move(lead)) {}

    void OnTraffic(const TrafficEvent& event) override
    {
        const std::string line = FormatTrafficLine(decoder_.Decode(event));
        const std::lock_guard lock(LineMutex());
        std::cerr << lead_ << line << '\n';
    }

    bool enabled = false;

private:
    std::string lead_;
    TrafficDecoder decoder_;
};

// The command line runs one command per process: the option and the trace
// live as long as it does.
StandardErrorTrace& Trace()
{
    static StandardErrorTrace trace;
    return trace;
}

}  // namespace

void TraceUnitSessions() { Trace().enabled = true; }

TrafficObserver* SessionTraceObserver() { return Trace().enabled ? &Trace() : nullptr; }

std::unique_ptr<TrafficObserver> UnitTraceObserver(const std::string& unit)
{
    if (!Trace().enabled) return nullptr;
    return std::make_unique<StandardErrorTrace>(unit + ": ");
}
