#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

LoopbackServer::LoopbackServer(bool ipv6) : ipv6_(ipv6)
{
    listener_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t size = 0;
    if (ipv6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        size = sizeof in6;
    } else {
        auto& in4 = reinterpret_cast<sockaddr_in&>(address);
        in4.sin_family = AF_INET;
        in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof in4;
    }
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 4) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                       : reinterpret_cast<sockaddr_in&>(address).sin_port);
}

LoopbackServer::~LoopbackServer()
{
    Drop();
    if (listener_ >= 0) ::close(listener_);
}

std::string LoopbackServer::Address(const std::string& scheme) const
{
    return scheme + "://" + (ipv6_ ? "[::1]" : "127.0.0.1") + ":" + std::to_string(port_);
}

bool LoopbackServer::Accept(int timeoutMs)
{
    Drop();
    pollfd in{listener_, POLLIN, 0};
    if (listener_ < 0 || ::poll(&in, 1, timeoutMs) <= 0) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
}

void LoopbackServer::Send(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (client_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> LoopbackServer::Receive(std::size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> bytes;
    while (client_ >= 0 && bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd in{client_, POLLIN, 0};
        if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) <= 0) break;
        std::uint8_t chunk[512];
        const ssize_t n = ::recv(client_, chunk, std::min(sizeof chunk, count - bytes.size()), 0);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void LoopbackServer::Drop()
{
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}
