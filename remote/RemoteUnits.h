// The units one remote serves, each with a link and a worker of its own
// (RemoteUnit) and its API (RemoteApi), addressed by name or by index:
//
//   GET    /api/units                  {"units": [{"index", "name", "device", "link", "memoriesUsed"}]}
//   GET    /api/units/UNIT             one of them
//   any    /api/units/UNIT/PATH        /api/PATH (RemoteApi.h) of that unit
//   any    /api/PATH                   /api/PATH of the first unit
//
// UNIT is a unit's name, percent-encoded, or its index (1: the first).
// Nothing here waits on a unit: one that stops answering holds up only its
// own worker, never the io thread or the other units.
//
// Runs on the io context's one thread, but for Add and Connect, which come
// before it runs.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "RemoteApi.h"
#include "ServeOptions.h"
#include "link/Link.h"

class PushHub;

// The path a request has for the one unit it concerns: /api/units/UNIT/PATH
// is /api/PATH; any other path is its own.
std::string PathWithinUnit(std::string_view path);

class RemoteUnits {
public:
    // Welcomes the hub's new clients with the state of every unit, the
    // first message also listing the units. `fit` is each unit's PEQ fit.
    explicit RemoteUnits(PushHub& hub, FitWorker::Fit fit = FitPeq);
    ~RemoteUnits();
    RemoteUnits(const RemoteUnits&) = delete;
    RemoteUnits& operator=(const RemoteUnits&) = delete;

    // Serves the unit on `device` as `name`, the next index. Throws
    // CommandError 2 for a name that is empty, taken, a whole number (which
    // would read as an index) or holds control characters.
    void Add(const std::string& name, boost::asio::io_context& io, std::string device, UnitTiming timing,
             LineFactory makeLine = MakeSerialLine);
    // Connects every unit at once and waits for them; those that could not
    // be reached are tried again every retry interval. Throws CommandError 3
    // when none could be, naming why.
    void Connect();
    // Shuts every unit down (RemoteUnit::Shutdown); `done` runs once all are.
    void Shutdown(std::function<void()> done);

    // A request under /api/; `respond` is called once, perhaps later.
    void Handle(const ApiRequest& request, const RemoteApi::Respond& respond);

private:
    struct Served;

    void Route(const ApiRequest& request, const RemoteApi::Respond& respond);
    // The unit's place in units_, from its name or index.
    std::size_t IndexOf(const std::string& key) const;
    nlohmann::ordered_json Summary(std::size_t index) const;
    nlohmann::ordered_json List() const;

    PushHub& hub_;
    FitWorker::Fit fit_;
    std::vector<std::unique_ptr<Served>> units_;
};
