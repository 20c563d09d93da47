#include "ConnectionAdmission.h"

ConnectionAdmission::Id ConnectionAdmission::AdmitGuest(const std::string& address, std::function<void()> close)
{
    const std::set<Id>& neighbours = guestsByAddress_[address];
    if (neighbours.size() >= limits_.guestsPerAddress)
        CloseGuest(*neighbours.begin());
    else if (guests_.size() >= limits_.guests)
        CloseGuest(guests_.begin()->first);
    const Id id = next_++;
    guests_.emplace(id, Guest{address, std::move(close)});
    guestsByAddress_[address].insert(id);
    return id;
}

bool ConnectionAdmission::Trust(Id id)
{
    if (trusted_.contains(id)) return true;
    if (!guests_.contains(id) || trusted_.size() >= limits_.trusted) return false;
    Forget(id);
    trusted_.insert(id);
    return true;
}

void ConnectionAdmission::Release(Id id)
{
    Forget(id);
    trusted_.erase(id);
}

void ConnectionAdmission::CloseGuest(Id id)
{
    const std::function<void()> close = std::move(guests_.at(id).close);
    Forget(id);
    close();
}

void ConnectionAdmission::Forget(Id id)
{
    const auto guest = guests_.find(id);
    if (guest == guests_.end()) return;
    const auto neighbours = guestsByAddress_.find(guest->second.address);
    neighbours->second.erase(id);
    if (neighbours->second.empty()) guestsByAddress_.erase(neighbours);
    guests_.erase(guest);
}

AdmissionTicket& AdmissionTicket::operator=(AdmissionTicket&& other) noexcept
{
    if (this == &other) return *this;
    if (admission_ != nullptr) admission_->Release(id_);
    admission_ = std::exchange(other.admission_, nullptr);
    id_ = other.id_;
    return *this;
}

AdmissionTicket::~AdmissionTicket()
{
    if (admission_ != nullptr) admission_->Release(id_);
}
