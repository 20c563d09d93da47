// A TCP connection to a network serial server, as the network serial line
// needs it: connect within a time-out, send and receive without blocking,
// and let the receive thread sleep until data arrives or another thread
// wakes it (a wake-up pipe on POSIX systems, an event on Windows).
// Implemented once per platform (NetSocketPosix.cpp, NetSocketWin32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/SerialLine.h"

class NetSocket {
public:
    NetSocket();
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // Resolves the host and connects to the first of its addresses that
    // accepts within timeoutMs, with Nagle's delay off. False when none
    // does; `error` says why (NameNotResolved, ConnectionRefused,
    // TimedOut, or Other with the system's words).
    bool Connect(const std::string& host, const std::string& port, int timeoutMs, LineError& error);
    void Close();
    bool IsOpen() const;

    enum class Received { Data, Nothing, Closed };
    // Up to maxBytes of what has arrived, in `count`; Closed once the
    // server closed the connection or it broke.
    Received Receive(std::uint8_t* destination, int maxBytes, int& count);
    // Sends every byte, waiting up to budgetMs for room; false when the
    // connection broke or the budget ran out.
    bool Send(const std::uint8_t* bytes, int count, int budgetMs);

    enum class Wait { Readable, Woken, TimedOut };
    // Sleeps until data (or the server's close) is waiting, Wake is called,
    // or timeoutMs passes (-1: no time-out). watchSocket false waits for
    // Wake alone.
    Wait WaitReadable(int timeoutMs, bool watchSocket = true);
    // Ends a WaitReadable on another thread at once. Safe from any thread.
    void Wake();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};
