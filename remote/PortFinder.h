// The serial ports of this machine as GET /api/ports lists them, each
// probed for the unit (UnitProbe.h), all at once on a thread of the
// finder's own: a probe waits up to its time-out on a silent device, which
// the io thread spends serving. A port that a unit of this server already
// has is not probed (that would take it from the unit) but listed as
// "served" with the unit's name. The list is handed back on the io thread.
//
// Destroying the finder lets the probe under way end (each gives up after
// its first time-out) and drops those waiting; it must go before the io
// context their lists are posted to.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/thread_pool.hpp>
#include <nlohmann/json.hpp>

#include "link/Link.h"
#include "unit/UnitProbe.h"

class PortFinder {
public:
    // The units served: device (CanonicalDevice) -> the unit's name.
    using Served = std::map<std::string, std::string>;
    // [{"device", "label", "description", "status", "detail"}, ...]
    using Done = std::function<void(nlohmann::ordered_json ports)>;

    PortFinder(boost::asio::any_io_executor home, LineFactory makeLine = MakeSerialLine);
    ~PortFinder();
    PortFinder(const PortFinder&) = delete;
    PortFinder& operator=(const PortFinder&) = delete;

    // Every port this machine has (session's LocalPorts).
    void ListAll(Served served, Done done);
    // The one device named (COMn, a path, tcp://..., rfc2217://...).
    void ProbeOne(std::string device, Served served, Done done);

private:
    void Find(std::function<nlohmann::ordered_json()> find, Done done);

    boost::asio::any_io_executor home_;
    LineFactory makeLine_;
    boost::asio::thread_pool thread_{1};
};

// "answered", "silent", "held", "no-permission", "no-device", "not-serial" or "error".
const char* ProbeStatus(const ProbeResult& result);
