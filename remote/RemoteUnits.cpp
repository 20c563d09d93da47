#include "RemoteUnits.h"

#include <algorithm>

#include "ApiFields.h"
#include "CommandError.h"
#include "PortList.h"
#include "PushChannel.h"
#include "RemoteUnit.h"
#include "SoundCardDesk.h"
#include "UnitSession.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view kUnitsPath = "/api/units";

bool WholeNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What a request that needs a unit gets while there is none.
ApiResponse NoUnit()
{
    return ErrorResponse(503, "No unit is served yet: find its port (GET /api/ports) and add it (POST /api/units).",
                         {{"units", json::array()}});
}

std::string TextField(const json& body, const char* key)
{
    const auto found = body.find(key);
    if (found == body.end() || !found->is_string())
        throw RequestError(400, std::string("The body must hold \"") + key + "\" as a text.");
    return found->get<std::string>();
}

void OnlyKeys(const json& body, std::initializer_list<std::string_view> keys)
{
    for (const auto& item : body.items())
        if (std::find(keys.begin(), keys.end(), item.key()) == keys.end())
            throw RequestError(400, "The body takes no \"" + item.key() + "\".");
}

}  // namespace

std::string PathWithinUnit(std::string_view path)
{
    const std::string prefix = std::string(kUnitsPath) + "/";
    if (!path.starts_with(prefix)) return std::string(path);
    const std::string_view rest = path.substr(prefix.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::string(path);
    return "/api/" + std::string(rest.substr(slash + 1));
}

struct RemoteUnits::Served {
    Served(const std::string& name, PushHub& hub, boost::asio::io_context& io, std::string device, UnitTiming timing,
           LineFactory makeLine, const FitWorker::Fit& fit, SoundCardDesk& desk, const UnitExtras& extras)
        : unit(io, std::move(device), timing, std::move(makeLine), extras.logLines),
          api(unit, hub, name, io.get_executor(), fit, desk, extras.report)
    {
    }

    RemoteUnit unit;
    RemoteApi api;
    bool moving = false;  // a move's connect sequence is under way
};

RemoteUnits::RemoteUnits(PushHub& hub, SoundCardDesk& desk, FitWorker::Fit fit, UnitExtras extras)
    : hub_(hub), desk_(desk), fit_(std::move(fit)), extras_(std::move(extras))
{
    hub_.welcome = [this] {
        std::vector<std::string> messages;
        for (const auto& served : units_)
            messages.push_back(served->api.StateMessage(messages.empty() ? List() : json::object()));
        if (messages.empty()) messages.push_back(json{{"type", "units"}, {"units", json::array()}}.dump());
        return messages;
    };
}

RemoteUnits::~RemoteUnits() { hub_.welcome = nullptr; }

void RemoteUnits::Add(const std::string& name, boost::asio::io_context& io, std::string device, UnitTiming timing,
                      LineFactory makeLine)
{
    try {
        CheckNewName(name);
    } catch (const RequestError& error) {
        throw CommandError(kExitBadInput, error.what());
    }
    units_.push_back(
        std::make_unique<Served>(name, hub_, io, std::move(device), timing, std::move(makeLine), fit_, desk_, extras_));
    desk_.UnitsServed(units_.size());
}

void RemoteUnits::CheckNewName(const std::string& name) const
{
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    if (name.empty() || WholeNumber(name) || std::any_of(name.begin(), name.end(), control))
        throw RequestError(400, "A unit's name must be a text, not a number: \"" + name + "\".");
    for (const auto* list : {&units_, &joining_})
        for (const auto& served : *list)
            if (served->api.Name() == name) throw RequestError(409, "Two units are named \"" + name + "\".");
}

void RemoteUnits::Connect(bool orNone)
{
    if (units_.empty() && !orNone) throw CommandError(kExitBadInput, "No unit to serve.");
    for (const auto& served : units_) served->unit.StartConnecting();
    std::string reasons;
    bool any = false;
    for (const auto& served : units_) {
        const std::string reason = served->unit.FinishConnecting();
        any = any || reason.empty();
        if (reason.empty()) continue;
        reasons += units_.size() == 1 ? reason : (reasons.empty() ? "" : "\n") + served->api.Name() + ": " + reason;
    }
    if (!any && !orNone) throw CommandError(kExitUnitFailed, reasons);
}

void RemoteUnits::TakeUnitsAdded(UnitIntake intake)
{
    finder_ = std::make_unique<PortFinder>(intake.io->get_executor(), intake.makeLine);
    intake_.emplace(std::move(intake));
}

void RemoteUnits::Shutdown(std::function<void()> done)
{
    stopping_ = true;
    desk_.Stop([this, done = std::move(done)] {
        auto waiting = std::make_shared<std::size_t>(units_.size() + joining_.size() + 1);
        const auto one = [waiting, done] {
            if (--*waiting == 0) done();
        };
        for (const auto* list : {&units_, &joining_})
            for (const auto& served : *list) served->unit.Shutdown(one);
        one();
    });
}

void RemoteUnits::RequireIdle(const Served& served) const
{
    if (desk_.Busy(served.unit))
        throw RequestError(409, served.api.Name() + " is being measured: cancel the measurement first.");
}

void RemoteUnits::Handle(const ApiRequest& request, const RemoteApi::Respond& respond)
{
    try {
        Route(request, respond);
    } catch (const RequestError& error) {
        respond(ErrorResponse(error.Status(), error.what()));
    }
}

void RemoteUnits::Route(const ApiRequest& request, const RemoteApi::Respond& respond)
{
    const std::string_view path = request.path;
    if (path == "/api/ports") {
        RequireMethod(request, "GET");
        return ListPorts(request, respond);
    }
    if (path == kUnitsPath || path == std::string(kUnitsPath) + "/") {
        if (request.method == "POST") return AddUnit(request, respond);
        RequireMethod(request, "GET");
        return respond(JsonResponse(List()));
    }
    if (path.starts_with(std::string(kUnitsPath) + "/"))
        return RouteUnit(request, path.substr(kUnitsPath.size() + 1), respond);
    if (!units_.empty()) return units_.front()->api.Handle(request, respond);
    // The page reads the scales before it has a unit.
    if (path == "/api/scales" && request.method == "GET") return respond(JsonResponse(ScalesJson()));
    respond(NoUnit());
}

void RemoteUnits::RouteUnit(const ApiRequest& request, std::string_view rest, const RemoteApi::Respond& respond)
{
    const std::size_t slash = rest.find('/');
    const std::size_t index = IndexOf(PercentDecoded(rest.substr(0, slash), "the unit's name"));
    if (slash == std::string_view::npos || slash + 1 == rest.size()) {
        if (request.method == "DELETE") return RemoveUnit(index, respond);
        RequireMethod(request, "GET");
        return respond(JsonResponse(Summary(index)));
    }
    if (rest.substr(slash + 1) == "port") {
        RequireMethod(request, "PUT");
        return MoveUnit(index, request, respond);
    }
    ApiRequest forwarded = request;
    forwarded.path = PathWithinUnit(request.path);
    units_[index]->api.Handle(forwarded, respond);
}

std::size_t RemoteUnits::IndexOf(const std::string& key) const
{
    for (std::size_t i = 0; i < units_.size(); ++i)
        if (units_[i]->api.Name() == key) return i;
    if (WholeNumber(key) && key.size() <= 9) {
        const std::size_t number = std::stoul(key);
        if (number >= 1 && number <= units_.size()) return number - 1;
    }
    throw RequestError(404, "No unit is named or numbered \"" + key + "\".");
}

json RemoteUnits::Summary(std::size_t index) const
{
    json summary{{"index", index + 1}};
    summary.update(units_[index]->api.Summary());
    return summary;
}

json RemoteUnits::List() const
{
    json units = json::array();
    for (std::size_t i = 0; i < units_.size(); ++i) units.push_back(Summary(i));
    return {{"units", std::move(units)}};
}

const UnitIntake& RemoteUnits::Intake() const
{
    if (!intake_) throw RequestError(403, "This server takes no units beyond those it was started with.");
    if (stopping_) throw RequestError(503, "The server is stopping.");
    return *intake_;
}

void RemoteUnits::ListPorts(const ApiRequest& request, const RemoteApi::Respond& respond)
{
    const UnitIntake& intake = Intake();
    PortFinder::Served served;
    for (const auto* list : {&units_, &joining_})
        for (const auto& unit : *list) served.emplace(CanonicalDevice(unit->unit.Device()), unit->api.Name());
    auto answer = [respond, last = intake.lastServed](json ports) {
        respond(JsonResponse({{"ports", std::move(ports)}, {"lastServed", last.empty() ? json(nullptr) : json(last)}}));
    };
    const std::optional<std::string> probe = QueryParameter(request, "probe");
    if (!probe) return finder_->ListAll(std::move(served), std::move(answer));
    std::string device;
    CheckAsRequest(400, [&] { device = PortDevice(*probe); });
    finder_->ProbeOne(std::move(device), std::move(served), std::move(answer));
}

std::string RemoteUnits::NewDevice(const json& body, const Served* moving) const
{
    std::string device;
    const std::string named = TextField(body, "device");
    CheckAsRequest(400, [&] { device = PortDevice(named); });
    const std::string canonical = CanonicalDevice(device);
    for (const auto* list : {&units_, &joining_})
        for (const auto& served : *list)
            if (served.get() != moving && CanonicalDevice(served->unit.Device()) == canonical)
                throw RequestError(409, named + " is served already, as " + served->api.Name() + ".");
    return device;
}

void RemoteUnits::AddUnit(const ApiRequest& request, const RemoteApi::Respond& respond)
{
    const UnitIntake& intake = Intake();
    const json body = JsonBody(request);
    OnlyKeys(body, {"device", "name"});
    std::string name;
    if (body.contains("name")) {
        name = TextField(body, "name");
    } else {
        for (std::size_t place = units_.size() + joining_.size() + 1; name.empty(); ++place) {
            name = "Unit " + std::to_string(place);
            try {
                CheckNewName(name);
            } catch (const RequestError&) {
                name.clear();
            }
        }
    }
    CheckNewName(name);
    std::string device = NewDevice(body, nullptr);
    joining_.push_back(std::make_unique<Served>(name, hub_, *intake.io, std::move(device), intake.timing,
                                                intake.makeLine, fit_, desk_, extras_));
    Served* served = joining_.back().get();
    served->unit.ConnectThen(
        [this, served, respond](const ConnectOutcome& outcome) { Joined(served, outcome, respond); });
}

// The unit's connect sequence ended: listed once it connected, else given up.
void RemoteUnits::Joined(Served* served, const ConnectOutcome& outcome, const RemoteApi::Respond& respond)
{
    if (stopping_) return respond(ErrorResponse(503, "The server is stopping."));
    const auto place =
        std::find_if(joining_.begin(), joining_.end(), [served](const auto& s) { return s.get() == served; });
    std::unique_ptr<Served> joined = std::move(*place);
    joining_.erase(place);
    if (!outcome.connected) {
        const int status = outcome.opened ? 504 : 502;
        return Retire(std::move(joined),
                      [respond, status, reason = outcome.reason] { respond(ErrorResponse(status, reason)); });
    }
    const std::string device = joined->unit.Device();
    units_.push_back(std::move(joined));
    Remember(device);
    UnitsChanged();
    hub_.Broadcast(units_.back()->api.StateMessage());
    respond(JsonResponse(Summary(units_.size() - 1)));
}

void RemoteUnits::MoveUnit(std::size_t index, const ApiRequest& request, const RemoteApi::Respond& respond)
{
    Intake();
    Served* served = units_[index].get();
    if (served->moving) throw RequestError(409, served->api.Name() + " is moving already.");
    RequireIdle(*served);
    const json body = JsonBody(request);
    OnlyKeys(body, {"device"});
    std::string device = NewDevice(body, served);
    served->moving = true;
    served->unit.MoveTo(device, [this, served, respond](const ConnectOutcome& outcome) {
        served->moving = false;
        const auto place =
            std::find_if(units_.begin(), units_.end(), [served](const auto& s) { return s.get() == served; });
        if (place == units_.end()) return respond(ErrorResponse(410, "The unit is no longer served."));
        Remember(served->unit.Device());
        UnitsChanged();
        const json summary = Summary(static_cast<std::size_t>(place - units_.begin()));
        if (outcome.connected) return respond(JsonResponse(summary));
        respond(ErrorResponse(outcome.opened ? 504 : 502, outcome.reason, {{"unit", summary}}));
    });
}

void RemoteUnits::RemoveUnit(std::size_t index, const RemoteApi::Respond& respond)
{
    Intake();
    RequireIdle(*units_[index]);
    std::unique_ptr<Served> leaving = std::move(units_[index]);
    units_.erase(units_.begin() + static_cast<std::ptrdiff_t>(index));
    UnitsChanged();
    Retire(std::move(leaving), [this, respond] { respond(JsonResponse(List())); });
}

void RemoteUnits::Retire(std::unique_ptr<Served> served, std::function<void()> done)
{
    Served* retiring = served.get();
    leaving_.push_back(std::move(served));
    retiring->unit.Shutdown([this, retiring, done] {
        // What the unit's worker posted before it stopped has run by now.
        std::erase_if(leaving_, [retiring](const auto& s) { return s.get() == retiring; });
        done();
    });
}

void RemoteUnits::Remember(const std::string& device)
{
    intake_->lastServed = device;
    if (intake_->remember) intake_->remember(device);
}

void RemoteUnits::UnitsChanged()
{
    desk_.UnitsServed(units_.size());
    json message{{"type", "units"}};
    message.update(List());
    hub_.Broadcast(message.dump());
}
