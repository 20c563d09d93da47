// The admission's allowances without sockets: which guest makes room for a
// new one, and that guests never take the trusted connections' places.
#include <gtest/gtest.h>

#include <vector>

#include "remote/ConnectionAdmission.h"

namespace {

class Admission : public ::testing::Test {
protected:
    ConnectionAdmission::Id Guest(const std::string& address)
    {
        const ConnectionAdmission::Id id =
            admission.AdmitGuest(address, [this, n = admitted++] { closed.push_back(n); });
        return id;
    }

    ConnectionAdmission admission{AdmissionLimits{.guestsPerAddress = 2, .guests = 3, .trusted = 1}};
    int admitted = 0;
    std::vector<int> closed;  // the guests closed to make room, by their order of admission
};

TEST_F(Admission, AFullAllowanceClosesItsOldestGuest)
{
    Guest("a");
    Guest("a");
    Guest("b");
    EXPECT_TRUE(closed.empty());
    Guest("a");  // a's allowance is full: a's oldest goes
    EXPECT_EQ(closed, std::vector<int>({0}));
    Guest("c");  // all guests' allowance is full: the oldest of all goes
    EXPECT_EQ(closed, std::vector<int>({0, 1}));
    EXPECT_EQ(admission.Guests(), 3u);
}

TEST_F(Admission, TrustedConnectionsKeepTheirOwnAllowance)
{
    const ConnectionAdmission::Id holder = Guest("a");
    EXPECT_TRUE(admission.Trust(holder));
    for (int i = 0; i < 10; ++i) Guest("a");
    EXPECT_EQ(closed.size(), 8u);
    EXPECT_EQ(std::count(closed.begin(), closed.end(), 0), 0) << "a trusted connection was closed for a guest";
    EXPECT_TRUE(admission.Trusted(holder));

    const ConnectionAdmission::Id second = Guest("b");
    EXPECT_FALSE(admission.Trust(second)) << "beyond the trusted allowance";
    EXPECT_FALSE(admission.Trusted(second));
    admission.Release(holder);
    EXPECT_TRUE(admission.Trust(second));
}

TEST_F(Admission, ATicketReleasesItsPlaceOnceWhereverItWasMoved)
{
    {
        AdmissionTicket first(admission, Guest("a"));
        AdmissionTicket moved = std::move(first);
        EXPECT_FALSE(first.Trust());
        EXPECT_TRUE(moved.Trust());
        EXPECT_EQ(admission.TrustedCount(), 1u);
    }
    EXPECT_EQ(admission.TrustedCount(), 0u);
    const ConnectionAdmission::Id closedGuest = Guest("a");
    Guest("a");
    Guest("a");                      // closes closedGuest
    admission.Release(closedGuest);  // its connection ending later changes nothing
    EXPECT_EQ(admission.Guests(), 2u);
}

}  // namespace
