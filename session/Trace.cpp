#include "Trace.h"

#include <iostream>

#include "link/TrafficDecoder.h"

namespace {

class StandardErrorTrace final : public TrafficObserver {
public:
    void OnTraffic(const TrafficEvent& event) override
    {
        std::cerr << FormatTrafficLine(decoder_.Decode(event)) << '\n';
    }

    bool enabled = false;

private:
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
