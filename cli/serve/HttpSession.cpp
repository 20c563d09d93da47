#include "HttpSession.h"

#include <array>
#include <chrono>

#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "PushChannel.h"
#include "RemoteApi.h"
#include "RequestGate.h"
#include "WebPage.h"

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr std::uint64_t kMaxBody = 64 * 1024;
constexpr auto kRequestTimeout = std::chrono::seconds(30);
// After refusing a body, what the client still sends is read and dropped
// for this long (or this much), so the refusal reaches it before the close.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 1024 * 1024;
constexpr std::string_view kPushPath = "/api/events";
constexpr std::string_view kTokenParameter = "token=";

// `name`: an http::field or the header's name.
template <typename Name>
std::string_view Header(const http::request<http::string_body>& request, Name name)
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

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, SessionParts parts, std::shared_ptr<int> connections)
    : stream_(std::move(socket)), parts_(parts), slot_(std::move(connections))
{
}

void HttpSession::ReadRequest()
{
    parser_.emplace();
    parser_->body_limit(kMaxBody);
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRequest(error); });
}

void HttpSession::OnRequest(const beast::error_code& error)
{
    if (error == http::error::body_limit) {
        keepAlive_ = false;
        return Reply(ErrorResponse(413, "A request body may hold at most 64 KiB."));
    }
    if (error) return;  // closed, timed out or not HTTP: nothing to answer
    stream_.expires_never();
    Request request = parser_->release();
    version_ = request.version();
    keepAlive_ = request.keep_alive();
    Dispatch(std::move(request));
}

void HttpSession::Dispatch(Request request)
{
    const std::string_view target(request.target().data(), request.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
    const std::string_view query = path.size() < target.size() ? target.substr(path.size() + 1) : std::string_view{};
    const GateHeaders headers{Header(request, http::field::host), Header(request, http::field::origin),
                              Header(request, "Sec-Fetch-Site"), Header(request, http::field::authorization),
                              path == kPushPath ? QueryToken(query) : std::string_view{}};

    if (path.starts_with("/api/")) {
        if (std::optional<ApiResponse> refused = parts_.gate.RefuseApi(headers)) return Reply(std::move(*refused));
        if (path == kPushPath) {
            if (!beast::websocket::is_upgrade(request))
                return Reply(ErrorResponse(426, "The push channel is a WebSocket."));
            return std::make_shared<PushSession>(stream_.release_socket(), parts_.hub)->Accept(std::move(request));
        }
        const ApiRequest apiRequest{std::string(request.method_string()), std::string(path),
                                    std::string(Header(request, http::field::content_type)), std::move(request.body())};
        return parts_.api.Handle(
            apiRequest, [self = shared_from_this()](ApiResponse response) { self->Reply(std::move(response)); });
    }
    if (std::optional<ApiResponse> refused = parts_.gate.RefusePage(headers)) return Reply(std::move(*refused));
    if (request.method() != http::verb::get) return Reply(ErrorResponse(405, "The page only answers GET."));
    std::optional<ApiResponse> file = PageFile(path);
    Reply(file ? std::move(*file) : ErrorResponse(404, "Nothing here: " + std::string(path)));
}

void HttpSession::Reply(ApiResponse answer)
{
    auto response =
        std::make_shared<http::response<http::string_body>>(static_cast<http::status>(answer.status), version_);
    response->set(http::field::server, "quenbar-cli");
    response->set(http::field::content_type, answer.contentType);
    response->set(http::field::cache_control, "no-store");
    response->set("X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : answer.headers) response->set(name, value);
    response->keep_alive(keepAlive_);
    response->body() = std::move(answer.body);
    response->prepare_payload();
    http::async_write(stream_, *response, [self = shared_from_this(), response](beast::error_code error, std::size_t) {
        if (error) return;
        if (self->keepAlive_) return self->ReadRequest();
        beast::error_code ignored;
        self->stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
        self->Linger();
    });
}

void HttpSession::Linger()
{
    stream_.expires_after(kLingerTime);
    Drain(std::make_shared<std::array<char, 4096>>(), 0);
}

void HttpSession::Drain(std::shared_ptr<std::array<char, 4096>> scratch, std::size_t drained)
{
    stream_.async_read_some(boost::asio::buffer(*scratch),
                            [self = shared_from_this(), scratch, drained](beast::error_code error, std::size_t count) {
                                if (!error && drained + count < kLingerBytes) self->Drain(scratch, drained + count);
                            });
}
