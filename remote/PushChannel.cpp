#include "PushChannel.h"

#include <algorithm>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

// Messages a client may have waiting before it is dropped.
constexpr std::size_t kMaxQueued = 1024;
// Clients send nothing larger than a subscription; anything larger than this ends the session.
constexpr std::size_t kMaxIncoming = 1024;

// Whether the handshake's target asks for the log from the start: ?log=1 (or true).
bool AsksForLog(std::string_view target)
{
    const std::size_t mark = target.find('?');
    std::string_view query = mark == std::string_view::npos ? std::string_view{} : target.substr(mark + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair == "log=1" || pair == "log=true") return true;
        query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    }
    return false;
}

}  // namespace

void PushHub::Join(const std::shared_ptr<PushSession>& session)
{
    sessions_.insert(session);
    if (closing_) return session->Close();
    if (!welcome) return;
    for (std::string& message : welcome()) session->Send(std::make_shared<const std::string>(std::move(message)));
}

void PushHub::Leave(const std::shared_ptr<PushSession>& session) { sessions_.erase(session); }

void PushHub::Broadcast(std::string message)
{
    const auto shared = std::make_shared<const std::string>(std::move(message));
    // A send may drop its session, which leaves the set: walk a copy.
    const std::set<std::shared_ptr<PushSession>> sessions = sessions_;
    for (const auto& session : sessions) session->Send(shared);
}

void PushHub::BroadcastLog(std::string message)
{
    const auto shared = std::make_shared<const std::string>(std::move(message));
    const std::set<std::shared_ptr<PushSession>> sessions = sessions_;
    for (const auto& session : sessions)
        if (session->WantsLog()) session->Send(shared);
}

bool PushHub::LogWanted() const
{
    return std::any_of(sessions_.begin(), sessions_.end(), [](const auto& session) { return session->WantsLog(); });
}

void PushHub::CloseAll()
{
    closing_ = true;
    // A close may drop its session, which leaves the set: walk a copy.
    const std::set<std::shared_ptr<PushSession>> sessions = sessions_;
    for (const auto& session : sessions) session->Close();
}

PushSession::PushSession(boost::asio::ip::tcp::socket socket, PushHub& hub, AdmissionTicket ticket)
    : socket_(std::move(socket)), hub_(hub), ticket_(std::move(ticket))
{
}

void PushSession::Accept(beast::http::request<beast::http::string_body> request)
{
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(beast::http::field::server, "quenbar-cli"); }));
    socket_.read_message_max(kMaxIncoming);
    wantsLog_ = AsksForLog(std::string_view(request.target().data(), request.target().size()));
    socket_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
        if (error) return;
        self->hub_.Join(self);
        self->Read();
    });
}

void PushSession::Send(std::shared_ptr<const std::string> message)
{
    if (closing_) return;  // nothing is announced after the goodbye
    if (outgoing_.size() >= kMaxQueued) return Drop();
    outgoing_.push_back(std::move(message));
    if (!writing_) Write();
}

void PushSession::Close()
{
    if (closing_) return;
    closing_ = true;
    if (!writing_) SayGoodbye();  // else once what is waiting has been written
}

void PushSession::Read()
{
    socket_.async_read(incoming_, [self = shared_from_this()](beast::error_code error, std::size_t) {
        if (error) return self->hub_.Leave(self);
        self->Take(beast::buffers_to_string(self->incoming_.data()));
        self->incoming_.clear();
        self->Read();
    });
}

void PushSession::Take(const std::string& message)
{
    const nlohmann::json parsed = nlohmann::json::parse(message, nullptr, false);
    if (!parsed.is_object()) return;
    const auto type = parsed.find("type");
    const auto log = parsed.find("log");
    if (type == parsed.end() || *type != "subscribe") return;
    if (log != parsed.end() && log->is_boolean()) wantsLog_ = log->get<bool>();
}

void PushSession::Write()
{
    writing_ = true;
    std::shared_ptr<const std::string> message = std::move(outgoing_.front());
    outgoing_.pop_front();
    socket_.text(true);
    socket_.async_write(boost::asio::buffer(*message),
                        [self = shared_from_this(), message](beast::error_code error, std::size_t) {
                            self->writing_ = false;
                            if (error) return self->Drop();
                            if (!self->outgoing_.empty()) return self->Write();
                            if (self->closing_) self->SayGoodbye();
                        });
}

void PushSession::SayGoodbye()
{
    socket_.async_close(websocket::close_code::going_away,
                        [self = shared_from_this()](beast::error_code) { self->hub_.Leave(self); });
}

void PushSession::Drop()
{
    hub_.Leave(shared_from_this());
    closing_ = true;
    outgoing_.clear();
    beast::error_code ignored;
    beast::get_lowest_layer(socket_).socket().close(ignored);
}
