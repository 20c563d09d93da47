// Who gets a connection when clients without the token crowd the remote:
// a token holder from the attackers' own address still gets in, and a
// connection that has not shown the token cannot hold its slot for long.
// The server listens on 127.0.0.1 with a token, which subjects every
// connection to the rules of a server beyond the local host.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <filesystem>
#include <optional>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include "tests/remote/LockoutAttack.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;
using tcp = boost::asio::ip::tcp;

RigOptions WithToken()
{
    RigOptions options;
    options.token = "admission-test-token-0123456789";
    return options;
}

// Whether the server closes the connection within `limit` (it sends nothing else).
bool ClosedWithin(tcp::socket& socket, std::chrono::milliseconds limit)
{
    pollfd watched{socket.native_handle(), POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(limit.count())) <= 0) return false;
    char byte = 0;
    boost::system::error_code error;
    socket.read_some(boost::asio::buffer(&byte, 1), error);
    return error.failed();
}

// The server's sockets whose own end is `port` (the listening one and
// those it accepted), each with whether a program it starts would inherit it.
std::vector<bool> ServerSocketsInherited(std::uint16_t port)
{
    std::vector<bool> inherited;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in6 address{};
        socklen_t length = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
        const std::uint16_t own = address.sin6_family == AF_INET6 ? ntohs(address.sin6_port)
                                  : address.sin6_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port)
                                                                   : 0;
        if (own == port) inherited.push_back((::fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0);
    }
    return inherited;
}

// Under the crowd below a new connection has as long to send its request as
// sixteen newcomers from its address take to arrive, about a millisecond
// here: a client held up longer between its connect and its request finds
// the connection closed unanswered, and connects again.
template <typename Request>
auto WithinThreeConnections(const Request& request) -> std::optional<decltype(request())>
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            return request();
        } catch (const std::exception&) {  // closed or reset before an answer
        }
    }
    return std::nullopt;
}

// A browser the server opens may outlive it: had it inherited the listening
// socket or a connection, the port would stay taken after the server ends.
TEST(RemoteAdmission, NoProgramTheServerStartsInheritsItsSockets)
{
    ServerRig rig;
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));
    const std::vector<bool> inherited = ServerSocketsInherited(rig.Port());
    ASSERT_EQ(inherited.size(), 2u) << "the listening socket and the push connection";
    EXPECT_EQ(inherited, std::vector<bool>(2, false));
}

TEST(RemoteAdmission, ATokenHolderGetsInWhileClientsWithoutTheTokenCrowdItsAddress)
{
    ServerRig rig(WithToken());
    // Together more than the server ever let hold a slot.
    AttackOptions crowd;
    crowd.slowConnections = 160;
    crowd.idlePushClients = 60;
    const LockoutAttack attack("127.0.0.1", rig.Port(), crowd);
    ASSERT_TRUE(attack.WaitUntilAllOpened(10s));

    const RemoteClient holder = rig.Client();
    int answered = 0;
    for (int i = 0; i < 20; ++i) {
        const std::optional<HttpReply> reply = WithinThreeConnections([&] { return holder.Get("/api/state"); });
        answered += reply && reply->status == 200;
    }
    EXPECT_EQ(answered, 20);
    const std::optional<HttpReply> change = WithinThreeConnections([&] { return holder.Set("lr/gain", 90); });
    ASSERT_TRUE(change.has_value());
    EXPECT_EQ(change->status, 200);
    EXPECT_EQ(rig.unit.CurrentImage()[1], 90);
    EXPECT_TRUE(WithinThreeConnections([&] { return rig.Push(); })) << "no push channel";
}

TEST(RemoteAdmission, AConnectionWithoutTheTokenIsClosedAfterARefusalAndHasSecondsForItsHead)
{
    ServerRig rig(WithToken());
    const HttpReply refused = rig.Client("").Get("/api/state");
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.headers.at("connection"), "close");
    EXPECT_EQ(rig.Client().Get("/api/state").headers.count("connection"), 0u) << "a token holder keeps its connection";

    boost::asio::io_context io;
    tcp::socket halfSent(io);
    halfSent.connect({boost::asio::ip::make_address("127.0.0.1"), rig.Port()});
    boost::asio::write(halfSent, boost::asio::buffer(std::string("GET /api/state HTTP/1.1\r\nHost: x")));
    EXPECT_TRUE(ClosedWithin(halfSent, 10s)) << "a half-sent head kept its slot";
}

}  // namespace
