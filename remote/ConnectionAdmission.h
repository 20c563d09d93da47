// Who holds the server's connections, so that no one can lock a token
// holder out. Every new connection is taken in, as a guest; one that shows
// it may use the unit (the token, or on a server without one a request the
// gate lets through) becomes trusted. Guests share a small allowance per
// address and a larger one in all: when a new guest finds its allowance
// full, the oldest guest within it is closed to make room. Trusted
// connections have an allowance of their own that guests cannot take.
//
// Everything runs on the io context's one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

struct AdmissionLimits {
    std::size_t guestsPerAddress = 16;
    std::size_t guests = 128;
    std::size_t trusted = 256;
};

class ConnectionAdmission {
public:
    using Id = std::uint64_t;

    explicit ConnectionAdmission(AdmissionLimits limits = {}) : limits_(limits) {}

    // Takes in a guest from `address`, first closing (through its `close`)
    // the oldest guest of a full allowance.
    Id AdmitGuest(const std::string& address, std::function<void()> close);
    // Moves a guest to the trusted allowance; false when that is full (it
    // stays a guest).
    bool Trust(Id id);
    bool Trusted(Id id) const { return trusted_.contains(id); }
    // The connection has ended; an id already closed to make room is ignored.
    void Release(Id id);

    std::size_t Guests() const { return guests_.size(); }
    std::size_t TrustedCount() const { return trusted_.size(); }

private:
    struct Guest {
        std::string address;
        std::function<void()> close;
    };

    void CloseGuest(Id id);
    void Forget(Id id);

    AdmissionLimits limits_;
    Id next_ = 1;
    std::map<Id, Guest> guests_;  // oldest first
    std::map<std::string, std::set<Id>> guestsByAddress_;
    std::set<Id> trusted_;
};

// A connection's place in the admission while it lives: moved along when
// another object takes the connection over (the push channel).
class AdmissionTicket {
public:
    AdmissionTicket() = default;
    AdmissionTicket(ConnectionAdmission& admission, ConnectionAdmission::Id id) : admission_(&admission), id_(id) {}
    AdmissionTicket(AdmissionTicket&& other) noexcept { *this = std::move(other); }
    AdmissionTicket& operator=(AdmissionTicket&& other) noexcept;
    ~AdmissionTicket();

    bool Trusted() const { return admission_ != nullptr && admission_->Trusted(id_); }
    // See ConnectionAdmission::Trust.
    bool Trust() { return admission_ != nullptr && admission_->Trust(id_); }

private:
    ConnectionAdmission* admission_ = nullptr;
    ConnectionAdmission::Id id_ = 0;
};
