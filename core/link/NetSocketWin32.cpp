// The network serial line's connection on Windows: a non-blocking Winsock
// socket whose arrivals and close signal an event (WSAEventSelect), and a
// second event for Wake, so the receive thread sleeps in one wait on both.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <optional>
#include <string>

#include "link/LookupWithin.h"
#include "link/NetSocket.h"
#include "link/WindowsText.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

timeval TimeValue(int milliseconds) { return {milliseconds / 1000, (milliseconds % 1000) * 1000}; }

LineError ConnectFailure(int error)
{
    switch (error) {
        case WSAECONNREFUSED:
            return {LineFailure::ConnectionRefused, SystemErrorText(static_cast<unsigned long>(error)), {}};
        case WSAETIMEDOUT:
            return {LineFailure::TimedOut, SystemErrorText(static_cast<unsigned long>(error)), {}};
        default:
            return {LineFailure::Other, SystemErrorText(static_cast<unsigned long>(error)), {}};
    }
}

// A lookup's outcome, taken on the thread that ran it (Winsock's last
// error is the thread's own).
struct Lookup {
    bool found = false;
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
    hints.ai_protocol = IPPROTO_TCP;
    Lookup lookup;
    lookup.found = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &lookup.addresses) == 0;
    if (!lookup.found) lookup.reason = SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
    return lookup;
}

// Waits until the socket can be written to (or failed) before the deadline:
// 1 ready, 0 timed out, -1 failed.
int WaitWritable(SOCKET socket, Clock::time_point deadline)
{
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval wait = TimeValue(MillisecondsLeft(deadline));
    const int ready = ::select(0, nullptr, &writable, &failed, &wait);
    if (ready <= 0) return ready;
    return FD_ISSET(socket, &failed) ? -1 : 1;
}

// Connects the non-blocking socket to the address before the deadline; 0,
// or the Winsock error of the failure (WSAETIMEDOUT when the deadline passed).
int ConnectBefore(SOCKET socket, const addrinfo& address, Clock::time_point deadline)
{
    if (::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return 0;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return ::WSAGetLastError();
    const int ready = WaitWritable(socket, deadline);
    if (ready == 0) return WSAETIMEDOUT;
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return ::WSAGetLastError();
    return ready < 0 && error == 0 ? WSAECONNREFUSED : error;
}

}  // namespace

struct NetSocket::Handles {
    bool started = false;  // WSAStartup succeeded
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT socketEvent = WSA_INVALID_EVENT;
    WSAEVENT wakeEvent = WSA_INVALID_EVENT;
};

NetSocket::NetSocket() : handles_(std::make_unique<Handles>())
{
    WSADATA data{};
    handles_->started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetSocket::~NetSocket()
{
    Close();
    if (handles_->started) ::WSACleanup();
}

bool NetSocket::Connect(const std::string& host, const std::string& port, int timeoutMs, LineError& error)
{
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::optional<Lookup> lookup =
        LookupWithin<Lookup>([host, port] { return LookUp(host, port); }, [](Lookup& late) { late.Free(); },
                             std::chrono::milliseconds(timeoutMs));
    if (!lookup || !lookup->found) {
        error = {LineFailure::NameNotResolved, lookup ? lookup->reason : kNoNameServiceAnswer, {}};
        return false;
    }
    addrinfo* addresses = lookup->addresses;
    int failure = WSAETIMEDOUT;
    for (const addrinfo* address = addresses; address && handles_->socket == INVALID_SOCKET;
         address = address->ai_next) {
        const SOCKET socket = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        u_long nonBlocking = 1;
        if (socket == INVALID_SOCKET || ::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
            failure = ::WSAGetLastError();
            if (socket != INVALID_SOCKET) ::closesocket(socket);
            continue;
        }
        failure = ConnectBefore(socket, *address, deadline);
        if (failure == 0)
            handles_->socket = socket;
        else
            ::closesocket(socket);
    }
    ::freeaddrinfo(addresses);
    if (handles_->socket != INVALID_SOCKET) {
        handles_->socketEvent = ::WSACreateEvent();
        handles_->wakeEvent = ::WSACreateEvent();
        if (handles_->socketEvent == WSA_INVALID_EVENT || handles_->wakeEvent == WSA_INVALID_EVENT ||
            ::WSAEventSelect(handles_->socket, handles_->socketEvent, FD_READ | FD_CLOSE) != 0)
            failure = ::WSAGetLastError();
    }
    if (failure != 0) {
        Close();
        error = ConnectFailure(failure);
        return false;
    }
    const BOOL on = TRUE;  // every message goes out at once, as on a serial line
    ::setsockopt(handles_->socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

void NetSocket::Close()
{
    if (handles_->socket != INVALID_SOCKET) ::closesocket(handles_->socket);
    handles_->socket = INVALID_SOCKET;
    for (WSAEVENT* event : {&handles_->socketEvent, &handles_->wakeEvent}) {
        if (*event != WSA_INVALID_EVENT) ::WSACloseEvent(*event);
        *event = WSA_INVALID_EVENT;
    }
}

bool NetSocket::IsOpen() const { return handles_->socket != INVALID_SOCKET; }

NetSocket::Received NetSocket::Receive(std::uint8_t* destination, int maxBytes, int& count)
{
    count = 0;
    const int n = ::recv(handles_->socket, reinterpret_cast<char*>(destination), maxBytes, 0);
    if (n > 0) {
        count = n;
        return Received::Data;
    }
    if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return Received::Nothing;
    return Received::Closed;
}

bool NetSocket::Send(const std::uint8_t* bytes, int count, int budgetMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    while (count > 0) {
        const int n = ::send(handles_->socket, reinterpret_cast<const char*>(bytes), count, 0);
        if (n > 0) {
            bytes += n;
            count -= n;
        } else if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            if (WaitWritable(handles_->socket, deadline) <= 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

NetSocket::Wait NetSocket::WaitReadable(int timeoutMs, bool watchSocket)
{
    const WSAEVENT events[2] = {handles_->wakeEvent, handles_->socketEvent};
    const DWORD signalled = ::WSAWaitForMultipleEvents(watchSocket ? 2 : 1, events, FALSE,
                                                       timeoutMs < 0 ? WSA_INFINITE : static_cast<DWORD>(timeoutMs),
                                                       FALSE);
    if (signalled == WSA_WAIT_EVENT_0) {
        ::WSAResetEvent(handles_->wakeEvent);
        return Wait::Woken;
    }
    if (signalled == WSA_WAIT_TIMEOUT) return Wait::TimedOut;
    // Resets the socket's event; the next recv re-arms it while data is left.
    WSANETWORKEVENTS happened{};
    ::WSAEnumNetworkEvents(handles_->socket, handles_->socketEvent, &happened);
    return Wait::Readable;
}

void NetSocket::Wake()
{
    if (handles_->wakeEvent != WSA_INVALID_EVENT) ::WSASetEvent(handles_->wakeEvent);
}
