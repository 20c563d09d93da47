// The network remote: connects to the units, listens for browsers and API
// clients, and serves them until stopped (RemoteUnits.h and RemoteApi.h list
// the API).
#pragma once

#include <cstdint>
#include <memory>

#include "ServeOptions.h"

class RemoteServer {
public:
    // Binds the listening address, then opens the ports and connects to the
    // units. Throws CommandError: 2 when it cannot listen (or would listen
    // beyond the local host without a token) or for a unit's bad name, 3 when
    // no unit can be reached (those that cannot are tried again), unless
    // it serves without units.
    explicit RemoteServer(const ServeOptions& options);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // The port it listens on (the one chosen when 0 was asked for).
    std::uint16_t Port() const;

    // SIGINT and SIGTERM stop it.
    void StopOnSignals();
    // Serves until stopped.
    void Run();
    // From any thread: stops accepting, lets the changes under way reach
    // the units, sends each the disconnect and closes its port, then says
    // goodbye to the push clients once they have been told every change
    // answered; Run then returns.
    void Stop();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};
