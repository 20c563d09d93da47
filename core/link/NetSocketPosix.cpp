// The network serial line's connection on POSIX systems: a non-blocking
// TCP socket, and a wake-up pipe beside it for poll().
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "link/LookupWithin.h"
#include "link/NetSocket.h"
#include "link/PosixWrite.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

LineError ConnectFailure(int error)
{
    switch (error) {
        case ECONNREFUSED:
            return {LineFailure::ConnectionRefused, std::strerror(error), {}};
        case ETIMEDOUT:
            return {LineFailure::TimedOut, std::strerror(error), {}};
        default:
            return {LineFailure::Other, std::strerror(error), {}};
    }
}

int PollRetrying(pollfd* fds, nfds_t count, int timeoutMs)
{
    int ready;
    do {
        ready = ::poll(fds, count, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

// Connects `fd` (non-blocking) to the address before the deadline; 0, or
// the errno of the failure (ETIMEDOUT when the deadline passed).
int ConnectBefore(int fd, const addrinfo& address, Clock::time_point deadline)
{
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd out{fd, POLLOUT, 0};
    const int ready = PollRetrying(&out, 1, MillisecondsLeft(deadline));
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

// A lookup's outcome, taken on the thread that ran it.
struct Lookup {
    int failure = 0;  // getaddrinfo's code
    std::string reason;
    addrinfo* addresses = nullptr;

    void Free()
    {
        if (addresses) ::freeaddrinfo(addresses);
    }
};

Lookup LookUp(const std::string& host, const std::string& port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    Lookup lookup;
    lookup.failure = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &lookup.addresses);
    if (lookup.failure != 0)
        lookup.reason = lookup.failure == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(lookup.failure);
    return lookup;
}

}  // namespace

struct NetSocket::Handles {
    int socket = -1;
    int wakePipe[2] = {-1, -1};
};

NetSocket::NetSocket() : handles_(std::make_unique<Handles>()) {}

NetSocket::~NetSocket() { Close(); }

bool NetSocket::Connect(const std::string& host, const std::string& port, int timeoutMs, LineError& error)
{
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::optional<Lookup> lookup =
        LookupWithin<Lookup>([host, port] { return LookUp(host, port); }, [](Lookup& late) { late.Free(); },
                             std::chrono::milliseconds(timeoutMs));
    if (!lookup || lookup->failure != 0) {
        error = {LineFailure::NameNotResolved, lookup ? lookup->reason : kNoNameServiceAnswer, {}};
        return false;
    }
    addrinfo* addresses = lookup->addresses;
    int failure = ETIMEDOUT;
    for (const addrinfo* address = addresses; address && handles_->socket < 0; address = address->ai_next) {
        const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address->ai_protocol);
        if (fd < 0) {
            failure = errno;
            continue;
        }
        failure = ConnectBefore(fd, *address, deadline);
        if (failure == 0)
            handles_->socket = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(addresses);
    if (handles_->socket < 0 || ::pipe2(handles_->wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (handles_->socket >= 0) failure = errno;
        Close();
        error = ConnectFailure(failure);
        return false;
    }
    const int on = 1;  // every message goes out at once, as on a serial line
    ::setsockopt(handles_->socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void NetSocket::Close()
{
    if (handles_->socket >= 0) ::close(handles_->socket);
    handles_->socket = -1;
    for (int& end : handles_->wakePipe) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

bool NetSocket::IsOpen() const { return handles_->socket >= 0; }

NetSocket::Received NetSocket::Receive(std::uint8_t* destination, int maxBytes, int& count)
{
    count = 0;
    for (;;) {
        const ssize_t n = ::recv(handles_->socket, destination, static_cast<size_t>(maxBytes), 0);
        if (n > 0) {
            count = static_cast<int>(n);
            return Received::Data;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Received::Nothing;
        return Received::Closed;
    }
}

bool NetSocket::Send(const std::uint8_t* bytes, int count, int budgetMs)
{
    return WriteAllWithin(handles_->socket, bytes, count, budgetMs, [](int fd, const void* data, std::size_t size) {
        return ::send(fd, data, size, MSG_NOSIGNAL);
    });
}

NetSocket::Wait NetSocket::WaitReadable(int timeoutMs, bool watchSocket)
{
    pollfd fds[2] = {{handles_->wakePipe[0], POLLIN, 0}, {handles_->socket, POLLIN, 0}};
    const int ready = PollRetrying(fds, watchSocket ? 2 : 1, timeoutMs);
    if (fds[0].revents != 0) {
        char sink[64];
        while (::read(handles_->wakePipe[0], sink, sizeof sink) > 0) {
        }
        return Wait::Woken;
    }
    // A failed poll is left to the read, which finds the socket broken.
    return ready == 0 ? Wait::TimedOut : Wait::Readable;
}

void NetSocket::Wake()
{
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    const char byte = 1;
    if (handles_->wakePipe[1] >= 0 && ::write(handles_->wakePipe[1], &byte, 1) < 0) return;
}
