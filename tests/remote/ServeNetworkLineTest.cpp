// The remote on a unit behind ser2net: a server that dies is a hang-up, the
// reconnect loop says why it cannot reach the unit, and it reconnects once
// the server is back.
#include <gtest/gtest.h>

#include <thread>

#include "tests/remote/RemoteRig.h"
#include "tests/support/Ser2netRig.h"

namespace {

using namespace std::chrono_literals;

TEST(RemoteThroughSer2net, AServerThatDiesIsAHangUpAndTheRemoteReconnectsWhenItIsBack)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    Ser2netRig ser2net(unit.DevicePath());
    ASSERT_TRUE(ser2net.Start()) << ser2net.Problem();
    RemoteServer server(ServeOptions{{{"Unit 1", ser2net.ComPortAddress()}}, "127.0.0.1", 0, "", {1h, 100ms}});
    std::thread runner([&server] { server.Run(); });
    const RemoteClient client("127.0.0.1", server.Port());
    PushClient push("127.0.0.1", server.Port());
    ASSERT_TRUE(push.WaitForType("state"));
    EXPECT_EQ(client.Set("lr/gain", 90).status, 200);

    ser2net.Kill();
    EXPECT_EQ(client.Set("lr/gain", 91).status, 503);
    const std::optional<json> away = push.WaitFor([](const json& message) {
        return LinkIs("reconnecting")(message) &&
               message["link"]["reason"].get<std::string>().find("the server refused the connection") !=
                   std::string::npos;
    });
    EXPECT_TRUE(away) << "the reconnect loop did not name the refused connection";

    ASSERT_TRUE(ser2net.Start()) << ser2net.Problem();
    ASSERT_TRUE(push.WaitFor(LinkIs("connected"), 10s));
    EXPECT_EQ(client.Set("lr/gain", 80).status, 200);
    EXPECT_EQ(unit.CurrentImage()[1], 80);
    server.Stop();
    runner.join();
}

}  // namespace
