// The network remote under test: an emulated unit on a pseudo-terminal
// (reached through a symlink, so that it can be unplugged and plugged in
// again), the server running in-process on a thread of its own, and plain
// HTTP and WebSocket clients that talk to it as browsers and scripts do.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "emulator/Emulator.h"
#include "remote/RemoteServer.h"
#include "tests/cli/ScratchDirectory.h"

using json = nlohmann::json;
using Headers = std::map<std::string, std::string>;
using Payload = std::vector<std::uint8_t>;

struct HttpReply {
    int status = 0;
    std::string body;
    Headers headers;  // names in lower case
    json Json() const { return json::parse(body, nullptr, false); }
    std::string Error() const { return Json().value("error", ""); }
};

// One request per connection, with Host naming the server as it was reached
// and the token (when set) as a bearer token.
class RemoteClient {
public:
    RemoteClient(std::string address, std::uint16_t port, std::string token = {});

    HttpReply Request(const std::string& method, const std::string& target, const std::string& body = {},
                      const std::string& contentType = {}, const Headers& extra = {}) const;
    HttpReply Get(const std::string& target) const { return Request("GET", target); }
    HttpReply PutJson(const std::string& target, const json& body) const
    {
        return Request("PUT", target, body.dump(), "application/json");
    }
    // PUT /api/settings/<path> with {"value": value}.
    HttpReply Set(const std::string& path, const json& value) const
    {
        return PutJson("/api/settings/" + path, {{"value", value}});
    }

    std::string Host() const;

private:
    std::string address_;
    std::uint16_t port_;
    std::string token_;
};

// A push channel client; a thread of its own collects the messages.
class PushClient {
public:
    // Throws std::runtime_error when the server declines the WebSocket.
    PushClient(const std::string& address, std::uint16_t port, const std::string& target = "/api/events",
               const Headers& extra = {});
    ~PushClient();
    PushClient(const PushClient&) = delete;
    PushClient& operator=(const PushClient&) = delete;

    // The first message not taken yet that satisfies `wanted`, waiting up to `timeout`.
    std::optional<json> WaitFor(const std::function<bool(const json&)>& wanted,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<json> WaitForType(const std::string& type,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Every message received so far, in order, and whether the server closed the channel.
    std::vector<json> Received() const;
    bool Closed() const;
    // Sends a text message (one at a time: the next after this one has left).
    void Send(const std::string& text);

private:
    void Read();

    struct Socket;
    std::unique_ptr<Socket> socket_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<json> messages_;
    std::size_t taken_ = 0;
    bool closed_ = false;
    std::thread reader_;
};

// The HTTP status with which the server answers a WebSocket handshake (101: accepted).
int HandshakeStatus(const std::string& address, std::uint16_t port, const std::string& target,
                    const Headers& extra = {});

struct RigOptions {
    EmulatorFaults faults;
    std::string address = "127.0.0.1";
    std::string token;
    std::uint16_t port = 0;  // 0: any free port
    // No read-backs unless a test asks; quick retries.
    UnitTiming timing{std::chrono::hours(1), std::chrono::milliseconds(100)};
    // Sets the unit up before the server connects to it.
    std::function<void(Rx74Emulator&)> prepare;
    // The server's PEQ fit.
    std::function<FitResult(const LevelCurve&, const FitOptions&)> fit = FitPeq;
    std::size_t logLines = 2000;  // the unit's communication log window
};

class ServerRig {
public:
    explicit ServerRig(const RigOptions& options = {});
    ~ServerRig();

    RemoteClient Client(const std::string& token) const { return RemoteClient(options_.address, Port(), token); }
    RemoteClient Client() const { return Client(options_.token); }
    std::unique_ptr<PushClient> Push() const;
    std::uint16_t Port() const { return server_->Port(); }
    const std::string& Device() const { return device_; }

    // The parameter and command payloads the unit received since the last call.
    std::vector<Payload> TakePayloads();

    // The unit unplugged (its pseudo-terminal closed, the device gone)...
    void Unplug();
    // ... and plugged in again on a fresh pseudo-terminal behind the same device.
    void PlugIn();

    // Stops the server (disconnect, port closed); the unit stays.
    void StopServer();

    Rx74Emulator unit;

private:
    RigOptions options_;
    ScratchDirectory directory_;
    std::string device_;
    std::unique_ptr<RemoteServer> server_;
    std::thread runner_;
};

// A server on 127.0.0.1 for one unit on a device of its own (an emulator
// run as a program), run on a thread of its own; `orNone`: it serves even
// when the unit cannot be reached.
class DeviceServer {
public:
    explicit DeviceServer(const std::string& device, const std::string& token = {}, bool orNone = false);
    ~DeviceServer() { Stop(); }
    // The unit's port closed again, for the command line to read it.
    void Stop();
    RemoteClient Client(const std::string& token) const { return RemoteClient("127.0.0.1", Port(), token); }
    RemoteClient Client() const { return Client(token_); }
    std::unique_ptr<PushClient> Push() const { return std::make_unique<PushClient>("127.0.0.1", Port()); }
    std::uint16_t Port() const { return server_->Port(); }

private:
    std::string token_;
    std::unique_ptr<RemoteServer> server_;
    std::thread runner_;
};

// Several emulated units, each on a pseudo-terminal of its own, served under
// the names given by a server on 127.0.0.1 without a token.
class UnitsRig {
public:
    explicit UnitsRig(const std::vector<std::string>& names, const std::vector<EmulatorFaults>& faults = {});
    ~UnitsRig();

    RemoteClient Client() const { return RemoteClient("127.0.0.1", server_->Port()); }
    PushClient Push() const { return PushClient("127.0.0.1", server_->Port()); }
    std::uint16_t Port() const { return server_->Port(); }
    // The unit's level (lr/gain) in steps.
    int Level(std::size_t unit) const { return units[unit]->CurrentImage()[1]; }

    std::vector<std::unique_ptr<Rx74Emulator>> units;

private:
    std::unique_ptr<RemoteServer> server_;
    std::thread runner_;
};

// A push message that tells the link's state is `state` ("connected", ...).
std::function<bool(const json&)> LinkIs(const std::string& state);

// The setting a push client has been told, folded from its "state" and
// "channel" messages: {"lr": ..., "sub": ...}.
json FoldedSettings(const std::vector<json>& messages);
