#include "RequestRouter.h"

#include <boost/beast/http/field.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "RequestGate.h"
#include "WebPage.h"

namespace http = boost::beast::http;

namespace {

constexpr std::string_view kPushPath = "/api/events";
constexpr std::string_view kTokenParameter = "token=";
constexpr std::string_view kMeasurementPath = "/api/measurements/";

// `name`: an http::field or the header's name.
template <typename Name>
std::string_view Header(const RequestRouter::Request& request, Name name)
{
    const auto found = request.find(name);
    return found == request.end() ? std::string_view{} : std::string_view(found->value().data(), found->value().size());
}

std::string_view QueryToken(std::string_view query)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair.starts_with(kTokenParameter)) return pair.substr(kTokenParameter.size());
        query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    }
    return {};
}

struct Target {
    std::string_view path;
    std::string_view query;
};

Target SplitTarget(const RequestRouter::Request& request)
{
    const std::string_view target(request.target().data(), request.target().size());
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos) return {target, {}};
    return {target.substr(0, mark), target.substr(mark + 1)};
}

GateHeaders GateHeadersOf(const RequestRouter::Request& request)
{
    const Target target = SplitTarget(request);
    return {Header(request, http::field::host), Header(request, http::field::origin), Header(request, "Sec-Fetch-Site"),
            Header(request, http::field::authorization),
            target.path == kPushPath ? QueryToken(target.query) : std::string_view{}};
}

}  // namespace

bool RequestRouter::Trusts(const Request& head) const { return !gate_.RefuseApi(GateHeadersOf(head)); }

std::uint64_t RequestRouter::BodyLimit(const Request& head) const
{
    const bool measurement =
        head.method() == http::verb::put && PathWithinUnit(SplitTarget(head).path).starts_with(kMeasurementPath);
    return measurement && Trusts(head) ? kMaxMeasurementBody : kMaxBody;
}

RequestRouter::Route RequestRouter::Handle(Request& request, const RemoteApi::Respond& respond)
{
    const std::string_view path = SplitTarget(request).path;
    const GateHeaders headers = GateHeadersOf(request);
    if (path.starts_with("/api/")) {
        if (std::optional<ApiResponse> refused = gate_.RefuseApi(headers)) {
            respond(std::move(*refused));
            return Route::Answered;
        }
        if (path == kPushPath) {
            if (boost::beast::websocket::is_upgrade(request)) return Route::PushChannel;
            respond(ErrorResponse(426, "The push channel is a WebSocket."));
            return Route::Answered;
        }
        const ApiRequest apiRequest{std::string(request.method_string()), std::string(path),
                                    std::string(Header(request, http::field::content_type)), std::move(request.body()),
                                    std::string(SplitTarget(request).query)};
        units_.Handle(apiRequest, respond);
        return Route::Answered;
    }
    if (std::optional<ApiResponse> refused = gate_.RefusePage(headers)) {
        respond(std::move(*refused));
    } else if (request.method() != http::verb::get) {
        respond(ErrorResponse(405, "The page only answers GET."));
    } else {
        std::optional<ApiResponse> file = PageFile(path);
        respond(file ? std::move(*file) : ErrorResponse(404, "Nothing here: " + std::string(path)));
    }
    return Route::Answered;
}
