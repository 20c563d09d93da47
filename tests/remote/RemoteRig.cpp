#include "tests/remote/RemoteRig.h"

#include <unistd.h>

#include <cctype>
#include <stdexcept>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

tcp::endpoint Endpoint(const std::string& address, std::uint16_t port)
{
    return {asio::ip::make_address(address), port};
}

std::string HostOf(const std::string& address, std::uint16_t port)
{
    const std::string name = address.find(':') == std::string::npos ? address : "[" + address + "]";
    return name + ":" + std::to_string(port);
}

}  // namespace

RemoteClient::RemoteClient(std::string address, std::uint16_t port, std::string token)
    : address_(std::move(address)), port_(port), token_(std::move(token))
{
}

std::string RemoteClient::Host() const { return HostOf(address_, port_); }

HttpReply RemoteClient::Request(const std::string& method, const std::string& target, const std::string& body,
                                const std::string& contentType, const Headers& extra) const
{
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(Endpoint(address_, port_));
    http::request<http::string_body> request;
    request.method_string(method);
    request.target(target);
    request.version(11);
    request.set(http::field::host, Host());
    if (!token_.empty()) request.set(http::field::authorization, "Bearer " + token_);
    if (!contentType.empty()) request.set(http::field::content_type, contentType);
    for (const auto& [name, value] : extra) request.set(name, value);
    request.body() = body;
    request.prepare_payload();
    beast::error_code error;
    http::write(socket, request, error);  // a refused body may end the writing early; the answer still comes

    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(16 * 1024 * 1024);
    http::read(socket, buffer, parser);
    HttpReply reply;
    reply.status = parser.get().result_int();
    reply.body = parser.get().body();
    for (const auto& field : parser.get())
        reply.headers[Lower(std::string(field.name_string()))] = std::string(field.value());
    return reply;
}

struct PushClient::Socket {
    asio::io_context io;
    websocket::stream<tcp::socket> stream{io};
    beast::flat_buffer buffer;
};

PushClient::PushClient(const std::string& address, std::uint16_t port, const std::string& target, const Headers& extra)
    : socket_(std::make_unique<Socket>())
{
    socket_->stream.next_layer().connect(Endpoint(address, port));
    socket_->stream.set_option(websocket::stream_base::decorator([extra](websocket::request_type& request) {
        for (const auto& [name, value] : extra) request.set(name, value);
    }));
    websocket::response_type response;
    beast::error_code error;
    socket_->stream.handshake(response, HostOf(address, port), target, error);
    if (error) throw std::runtime_error("push channel declined with " + std::to_string(response.result_int()));
    // From here on only the reader's thread touches the socket.
    Read();
    reader_ = std::thread([this] { socket_->io.run(); });
}

PushClient::~PushClient()
{
    asio::post(socket_->io, [this] {
        beast::error_code ignored;
        socket_->stream.next_layer().close(ignored);
    });
    reader_.join();
}

void PushClient::Send(const std::string& text)
{
    auto message = std::make_shared<std::string>(text);
    asio::post(socket_->io, [this, message] {
        socket_->stream.text(true);
        socket_->stream.async_write(asio::buffer(*message), [message](beast::error_code, std::size_t) {});
    });
}

void PushClient::Read()
{
    socket_->stream.async_read(socket_->buffer, [this](beast::error_code error, std::size_t) {
        std::lock_guard lock(mutex_);
        arrived_.notify_all();
        if (error) {
            closed_ = true;
            return;
        }
        messages_.push_back(json::parse(beast::buffers_to_string(socket_->buffer.data())));
        socket_->buffer.clear();
        Read();
    });
}

std::optional<json> PushClient::WaitFor(const std::function<bool(const json&)>& wanted,
                                        std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; taken_ < messages_.size(); ++taken_)
            if (wanted(messages_[taken_])) return messages_[taken_++];
        if (closed_ || arrived_.wait_until(lock, deadline) == std::cv_status::timeout) return std::nullopt;
    }
}

std::optional<json> PushClient::WaitForType(const std::string& type, std::chrono::milliseconds timeout)
{
    return WaitFor([&type](const json& message) { return message["type"] == type; }, timeout);
}

std::vector<json> PushClient::Received() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

bool PushClient::Closed() const
{
    std::lock_guard lock(mutex_);
    return closed_;
}

int HandshakeStatus(const std::string& address, std::uint16_t port, const std::string& target, const Headers& extra)
{
    Headers headers{{"Connection", "Upgrade"},
                    {"Upgrade", "websocket"},
                    {"Sec-WebSocket-Version", "13"},
                    {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}};
    for (const auto& [name, value] : extra) headers[name] = value;
    return RemoteClient(address, port).Request("GET", target, {}, {}, headers).status;
}

ServerRig::ServerRig(const RigOptions& options)
    : unit(options.faults), options_(options), directory_("quenbar-remote"), device_(directory_.Path() / "unit")
{
    if (options.prepare) options.prepare(unit);
    PlugIn();
    ServeOptions serve{{{"Unit 1", device_}}, options.address, options.port,
                       options.token,         options.timing,  options.fit};
    serve.logLines = options.logLines;
    server_ = std::make_unique<RemoteServer>(serve);
    runner_ = std::thread([this] { server_->Run(); });
    unit.ClearReceived();
}

DeviceServer::DeviceServer(const std::string& device, const std::string& token, bool orNone) : token_(token)
{
    ServeOptions options;
    options.units = {{"Unit 1", device}};
    options.port = 0;
    options.token = token;
    options.timing = {std::chrono::hours(1), std::chrono::milliseconds(100)};
    options.serveWithoutUnits = orNone;
    server_ = std::make_unique<RemoteServer>(options);
    runner_ = std::thread([this] { server_->Run(); });
}

void DeviceServer::Stop()
{
    if (!server_) return;
    server_->Stop();
    runner_.join();
    server_.reset();
}

ServerRig::~ServerRig()
{
    StopServer();
    unit.Stop();
}

std::unique_ptr<PushClient> ServerRig::Push() const
{
    const std::string query = options_.token.empty() ? "" : "?token=" + options_.token;
    return std::make_unique<PushClient>(options_.address, Port(), "/api/events" + query);
}

std::vector<Payload> ServerRig::TakePayloads()
{
    std::vector<Payload> payloads = unit.ReceivedPayloads();
    unit.ClearReceived();
    return payloads;
}

void ServerRig::Unplug()
{
    unit.Stop();
    ::unlink(device_.c_str());
}

void ServerRig::PlugIn()
{
    if (!unit.Start() || ::symlink(unit.DevicePath().c_str(), device_.c_str()) != 0)
        throw std::runtime_error("cannot start the emulated unit");
}

void ServerRig::StopServer()
{
    if (!runner_.joinable()) return;
    server_->Stop();
    runner_.join();
}

UnitsRig::UnitsRig(const std::vector<std::string>& names, const std::vector<EmulatorFaults>& faults)
{
    ServeOptions options{{}, "127.0.0.1", 0, "", {std::chrono::hours(1), std::chrono::milliseconds(100)}};
    for (std::size_t i = 0; i < names.size(); ++i) {
        units.push_back(std::make_unique<Rx74Emulator>(i < faults.size() ? faults[i] : EmulatorFaults{}));
        if (!units.back()->Start()) throw std::runtime_error("cannot start an emulated unit");
        options.units.push_back({names[i], units.back()->DevicePath()});
    }
    server_ = std::make_unique<RemoteServer>(options);
    runner_ = std::thread([this] { server_->Run(); });
}

UnitsRig::~UnitsRig()
{
    server_->Stop();
    runner_.join();
}

std::function<bool(const json&)> LinkIs(const std::string& state)
{
    return [state](const json& message) {
        return (message["type"] == "link" || message["type"] == "state") && message["link"]["state"] == state;
    };
}

json FoldedSettings(const std::vector<json>& messages)
{
    json settings;
    for (const json& message : messages) {
        if (message["type"] == "state") settings = message["settings"];
        if (message["type"] == "channel") settings[message["channel"].get<std::string>()] = message["settings"];
    }
    return settings;
}
