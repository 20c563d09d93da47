#include "HttpSession.h"

#include <array>
#include <chrono>

#include <boost/beast/http.hpp>

#include "PushChannel.h"
#include "RequestRouter.h"

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr std::uint32_t kMaxHead = 8 * 1024;
// A connection that has not shown the token must send each request within
// this time; only a trusted one may take longer.
constexpr auto kGuestRequestTime = std::chrono::seconds(5);
constexpr auto kRequestTimeout = std::chrono::seconds(30);
// After refusing a request, what the client still sends is read and dropped
// for this long (or this much), so the refusal reaches it before the close.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 1024 * 1024;

ApiResponse TooLarge(std::uint64_t limit)
{
    const bool mebibytes = limit % (1024 * 1024) == 0;
    return ErrorResponse(413, "A request body may hold at most " +
                                  std::to_string(mebibytes ? limit / (1024 * 1024) : limit / 1024) +
                                  (mebibytes ? " MiB." : " KiB."));
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, SessionParts parts)
    : stream_(std::move(socket)), parts_(parts)
{
}

void HttpSession::Start()
{
    beast::error_code error;
    const std::string address = stream_.socket().remote_endpoint(error).address().to_string();
    const ConnectionAdmission::Id id = parts_.admission.AdmitGuest(address, [weak = weak_from_this()] {
        if (const std::shared_ptr<HttpSession> self = weak.lock()) self->Close();
    });
    ticket_ = AdmissionTicket(parts_.admission, id);
    ReadRequest();
}

void HttpSession::ReadRequest()
{
    parser_.emplace();
    parser_->header_limit(kMaxHead);
    // The head is judged with the largest limit; OnHead holds the body to its request's.
    parser_->body_limit(kMaxMeasurementBody);
    stream_.expires_after(ticket_.Trusted() ? kRequestTimeout : kGuestRequestTime);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHead(error); });
}

void HttpSession::OnHead(const beast::error_code& error)
{
    if (std::optional<ApiResponse> refusal = Unreadable(error)) return Refuse(std::move(*refusal));
    if (error) return;  // closed, timed out or not HTTP: nothing to answer
    if (!ticket_.Trusted() && parts_.router.Trusts(parser_->get())) {
        if (!ticket_.Trust()) return Refuse(ErrorResponse(503, "The server has no room for another client."));
        stream_.expires_after(kRequestTimeout);
    }
    const std::uint64_t limit = parts_.router.BodyLimit(parser_->get());
    if (parser_->content_length().value_or(0) > limit) return Refuse(TooLarge(limit));
    parser_->body_limit(limit);  // for a chunked body, counted as it comes
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRequest(error); });
}

void HttpSession::OnRequest(const beast::error_code& error)
{
    if (std::optional<ApiResponse> refusal = Unreadable(error)) return Refuse(std::move(*refusal));
    if (error) return;
    stream_.expires_never();
    Request request = parser_->release();
    version_ = request.version();
    keepAlive_ = request.keep_alive();
    Dispatch(std::move(request));
}

// A body's length is judged with the head, so either read may find it too long.
std::optional<ApiResponse> HttpSession::Unreadable(const beast::error_code& error) const
{
    if (error == http::error::body_limit) return TooLarge(parts_.router.BodyLimit(parser_->get()));
    if (error != http::error::header_limit) return std::nullopt;
    if (RequestLineTooLong()) return ErrorResponse(414, "A request target may hold at most 8 KiB.");
    return ErrorResponse(431, "A request head may hold at most 8 KiB.");
}

void HttpSession::Refuse(ApiResponse response)
{
    keepAlive_ = false;
    Reply(std::move(response));
}

// The parser never got the whole request line, and the head received
// holds no line end within the limit.
bool HttpSession::RequestLineTooLong() const
{
    if (!parser_->get().target().empty()) return false;
    const std::string_view received(static_cast<const char*>(buffer_.data().data()), buffer_.size());
    return received.substr(0, kMaxHead).find("\r\n") == std::string_view::npos;
}

void HttpSession::Dispatch(Request request)
{
    const auto respond = [self = shared_from_this()](ApiResponse response) { self->Reply(std::move(response)); };
    if (parts_.router.Handle(request, respond) == RequestRouter::Route::PushChannel)
        std::make_shared<PushSession>(stream_.release_socket(), parts_.hub, std::move(ticket_))
            ->Accept(std::move(request));
}

void HttpSession::Reply(ApiResponse answer)
{
    // A connection that has not shown the token keeps no slot after a refusal.
    if (answer.status >= 400 && !ticket_.Trusted()) keepAlive_ = false;
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

void HttpSession::Close()
{
    beast::error_code ignored;
    stream_.socket().close(ignored);
}
