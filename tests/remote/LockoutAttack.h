// Clients without the token that try to crowd a token holder out of the
// remote, all from one address, as a hostile client on the venue network
// would: slow connections that send a request head a byte at a time and
// never finish it, and idle push clients whose handshake carries no token.
// Each is opened again as soon as the server drops it. The attack runs on a
// thread of its own from construction to destruction.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

struct AttackOptions {
    int slowConnections = 500;
    int idlePushClients = 200;
    std::chrono::milliseconds byteInterval{1000};  // a slow connection's pace
};

class LockoutAttack {
public:
    LockoutAttack(const std::string& address, std::uint16_t port, const AttackOptions& options);
    ~LockoutAttack();
    LockoutAttack(const LockoutAttack&) = delete;
    LockoutAttack& operator=(const LockoutAttack&) = delete;

    // Connections opened so far, the re-opened ones included.
    long Opened() const { return opened_.load(); }
    // Waits (up to `timeout`) until as many connections were opened as there
    // are attackers.
    bool WaitUntilAllOpened(std::chrono::milliseconds timeout) const;

private:
    struct Parts;
    class Attacker;

    std::unique_ptr<Parts> parts_;
    std::atomic<long> opened_{0};
    long attackers_ = 0;
    std::thread runner_;
};
