// The units one remote serves, each with a link and a worker of its own
// (RemoteUnit) and its API (RemoteApi), addressed by name or by index:
//
//   GET    /api/units                  {"units": [{"index", "name", "device", "link", "memoriesUsed"}]}
//   POST   /api/units                  {"device", "name"?}: connects a unit and serves it
//   GET    /api/units/UNIT             one of them
//   DELETE /api/units/UNIT             stops serving it
//   PUT    /api/units/UNIT/port        {"device"}: the unit moves to another port
//   any    /api/units/UNIT/PATH        /api/PATH (RemoteApi.h) of that unit
//   any    /api/PATH                   /api/PATH of the first unit (503 while there is none)
//   GET    /api/ports[?probe=DEVICE]   this machine's serial ports (or the one device), each probed
//
// UNIT is a unit's name, percent-encoded, or its index (1: the first).
// Nothing here waits on a unit: one that stops answering holds up only its
// own worker, never the io thread or the other units. The push clients hear
// {"type": "units", "units": [...]} whenever the list changes.
//
// Runs on the io context's one thread, but for Add and Connect, which come
// before it runs. Units are added and removed only there: a unit being
// added is listed once its connect sequence has connected, and one being
// removed leaves the list at once and is destroyed once its worker is done.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "PortFinder.h"
#include "RemoteApi.h"
#include "ServeOptions.h"
#include "UnitLog.h"
#include "link/Link.h"

class PushHub;
class SoundCardDesk;
struct ConnectOutcome;

// The path a request has for the one unit it concerns: /api/units/UNIT/PATH
// is /api/PATH; any other path is its own.
std::string PathWithinUnit(std::string_view path);

// What every unit is served with beyond its device.
struct UnitExtras {
    ReportMaker report;
    std::size_t logLines = UnitLog::kDefaultCapacity;
};

// What units added through the API are made with, and the port served
// last; without it the API adds none and lists no ports.
struct UnitIntake {
    boost::asio::io_context* io = nullptr;
    UnitTiming timing;
    LineFactory makeLine = MakeSerialLine;
    std::string lastServed;
    std::function<void(const std::string& device)> remember;
};

class RemoteUnits {
public:
    // Welcomes the hub's new clients with the state of every unit, the
    // first message also listing the units (with none: the "units" message).
    // `fit` is each unit's PEQ fit; `desk` measures through the sound card
    // for them all.
    RemoteUnits(PushHub& hub, SoundCardDesk& desk, FitWorker::Fit fit = FitPeq, UnitExtras extras = {});
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
    // when none could be, naming why, unless `orNone`.
    void Connect(bool orNone = false);
    // From then on the API adds units and lists ports.
    void TakeUnitsAdded(UnitIntake intake);
    // Ends the sound card's job (its mutes put back), then shuts every unit
    // down (RemoteUnit::Shutdown); `done` runs once all are.
    void Shutdown(std::function<void()> done);

    // A request under /api/; `respond` is called once, perhaps later.
    void Handle(const ApiRequest& request, const RemoteApi::Respond& respond);

private:
    struct Served;

    void Route(const ApiRequest& request, const RemoteApi::Respond& respond);
    void RouteUnit(const ApiRequest& request, std::string_view rest, const RemoteApi::Respond& respond);
    // The unit's place in units_, from its name or index.
    std::size_t IndexOf(const std::string& key) const;
    nlohmann::ordered_json Summary(std::size_t index) const;
    nlohmann::ordered_json List() const;

    // 400 for a name the rules refuse, 409 for one taken.
    void CheckNewName(const std::string& name) const;
    // The device a body's "device" names; 409 when a unit other than `moving` has it.
    std::string NewDevice(const nlohmann::ordered_json& body, const Served* moving) const;
    const UnitIntake& Intake() const;
    void ListPorts(const ApiRequest& request, const RemoteApi::Respond& respond);
    void AddUnit(const ApiRequest& request, const RemoteApi::Respond& respond);
    void Joined(Served* served, const ConnectOutcome& outcome, const RemoteApi::Respond& respond);
    void MoveUnit(std::size_t index, const ApiRequest& request, const RemoteApi::Respond& respond);
    void RemoveUnit(std::size_t index, const RemoteApi::Respond& respond);
    // Shuts the unit down and destroys it; `done` runs afterwards.
    void Retire(std::unique_ptr<Served> served, std::function<void()> done);
    void Remember(const std::string& device);
    void UnitsChanged();

    // 409 while the sound card's job is for the unit.
    void RequireIdle(const Served& served) const;

    PushHub& hub_;
    SoundCardDesk& desk_;
    FitWorker::Fit fit_;
    UnitExtras extras_;
    std::vector<std::unique_ptr<Served>> units_;
    std::vector<std::unique_ptr<Served>> joining_;  // connecting, not listed yet
    std::vector<std::unique_ptr<Served>> leaving_;  // shutting down, no longer listed
    std::optional<UnitIntake> intake_;
    std::unique_ptr<PortFinder> finder_;
    bool stopping_ = false;
};
