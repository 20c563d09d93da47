// A TCP server on the loopback interface standing in for a network serial
// server, for tests that need byte-exact control of what it answers: it
// listens on a port the system picks, takes one client at a time, and
// sends and receives plain bytes (the test speaks the protocol itself).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LoopbackServer {
public:
    // Listens on 127.0.0.1, or on ::1 when `ipv6`.
    explicit LoopbackServer(bool ipv6 = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    // "tcp://127.0.0.1:PORT", "rfc2217://[::1]:PORT": the scheme and this server.
    std::string Address(const std::string& scheme) const;

    // Takes the next client; false when none came in time.
    bool Accept(int timeoutMs = 5000);
    void Send(const std::vector<std::uint8_t>& bytes);
    // What the client sent until `count` bytes arrived or timeoutMs passed.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 2000);
    // Closes the client's connection, as a server that goes away does.
    void Drop();

private:
    int listener_ = -1;
    int client_ = -1;
    bool ipv6_ = false;
    int port_ = 0;
};
