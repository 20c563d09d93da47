#include "RemoteUnits.h"

#include <algorithm>

#include "CommandError.h"
#include "PushChannel.h"
#include "RemoteUnit.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view kUnitsPath = "/api/units";

bool WholeNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A path segment with its %XX escapes undone.
std::string PercentDecoded(std::string_view segment)
{
    std::string decoded;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] != '%') {
            decoded += segment[i];
            continue;
        }
        const int high = i + 2 < segment.size() ? HexDigit(segment[i + 1]) : -1;
        const int low = high < 0 ? -1 : HexDigit(segment[i + 2]);
        if (low < 0) throw RequestError(400, "A bad %-escape in the unit's name: " + std::string(segment));
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
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
           LineFactory makeLine, const FitWorker::Fit& fit)
        : unit(io, std::move(device), timing, std::move(makeLine)), api(unit, hub, name, io.get_executor(), fit)
    {
    }

    RemoteUnit unit;
    RemoteApi api;
};

RemoteUnits::RemoteUnits(PushHub& hub, FitWorker::Fit fit) : hub_(hub), fit_(std::move(fit))
{
    hub_.welcome = [this] {
        std::vector<std::string> messages;
        for (const auto& served : units_)
            messages.push_back(served->api.StateMessage(messages.empty() ? List() : json::object()));
        return messages;
    };
}

RemoteUnits::~RemoteUnits() { hub_.welcome = nullptr; }

void RemoteUnits::Add(const std::string& name, boost::asio::io_context& io, std::string device, UnitTiming timing,
                      LineFactory makeLine)
{
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    if (name.empty() || WholeNumber(name) || std::any_of(name.begin(), name.end(), control))
        throw CommandError(kExitBadInput, "A unit's name must be a text, not a number: \"" + name + "\".");
    for (const auto& served : units_)
        if (served->api.Name() == name) throw CommandError(kExitBadInput, "Two units are named \"" + name + "\".");
    units_.push_back(std::make_unique<Served>(name, hub_, io, std::move(device), timing, std::move(makeLine), fit_));
}

void RemoteUnits::Connect()
{
    if (units_.empty()) throw CommandError(kExitBadInput, "No unit to serve.");
    for (const auto& served : units_) served->unit.StartConnecting();
    std::string reasons;
    bool any = false;
    for (const auto& served : units_) {
        const std::string reason = served->unit.FinishConnecting();
        any = any || reason.empty();
        if (reason.empty()) continue;
        reasons += units_.size() == 1 ? reason : (reasons.empty() ? "" : "\n") + served->api.Name() + ": " + reason;
    }
    if (!any) throw CommandError(kExitUnitFailed, reasons);
}

void RemoteUnits::Shutdown(std::function<void()> done)
{
    auto waiting = std::make_shared<std::size_t>(units_.size());
    for (const auto& served : units_)
        served->unit.Shutdown([waiting, done] {
            if (--*waiting == 0) done();
        });
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
    if (path == kUnitsPath || path == std::string(kUnitsPath) + "/") {
        RequireMethod(request, "GET");
        return respond(JsonResponse(List()));
    }
    if (!path.starts_with(std::string(kUnitsPath) + "/")) return units_.front()->api.Handle(request, respond);

    std::string_view rest = path.substr(kUnitsPath.size() + 1);
    const std::size_t slash = rest.find('/');
    const std::size_t index = IndexOf(PercentDecoded(rest.substr(0, slash)));
    if (slash == std::string_view::npos || slash + 1 == rest.size()) {
        RequireMethod(request, "GET");
        return respond(JsonResponse(Summary(index)));
    }
    ApiRequest forwarded = request;
    forwarded.path = PathWithinUnit(path);
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
