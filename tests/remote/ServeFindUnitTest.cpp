// A remote started without a unit: the ports it lists, each probed, and
// units added, moved and removed over the API while it serves, by whoever
// may change the unit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "tests/remote/RemoteRig.h"
#include "tests/support/HeldPort.h"

namespace {

using namespace std::chrono_literals;

// An in-process server with no unit, remembering the ports it serves.
class EmptyServer {
public:
    explicit EmptyServer(std::string token = {})
    {
        ServeOptions options{{}, "127.0.0.1", 0, std::move(token), {1h, 100ms}};
        options.serveWithoutUnits = true;
        options.lastServed = "/dev/remembered";
        options.remember = [this](const std::string& device) {
            const std::lock_guard lock(mutex_);
            remembered_.push_back(device);
        };
        token_ = options.token;
        server_ = std::make_unique<RemoteServer>(options);
        runner_ = std::thread([this] { server_->Run(); });
    }
    ~EmptyServer()
    {
        server_->Stop();
        runner_.join();
    }

    RemoteClient Client() const { return RemoteClient("127.0.0.1", server_->Port(), token_); }
    RemoteClient Stranger() const { return RemoteClient("127.0.0.1", server_->Port()); }
    std::uint16_t Port() const { return server_->Port(); }
    std::vector<std::string> Remembered() const
    {
        const std::lock_guard lock(mutex_);
        return remembered_;
    }

private:
    std::string token_;
    mutable std::mutex mutex_;
    std::vector<std::string> remembered_;
    std::unique_ptr<RemoteServer> server_;
    std::thread runner_;
};

// The listed port whose device is `device`; null when none is.
json PortOf(const json& listing, const std::string& device)
{
    for (const json& port : listing["ports"])
        if (port["device"] == device) return port;
    return nullptr;
}

// QUENBAR_COM<n> pointed at a device while it lives, as a user points a COM number.
class ComVariable {
public:
    ComVariable(int number, const std::string& device) : name_("QUENBAR_COM" + std::to_string(number))
    {
        ::setenv(name_.c_str(), device.c_str(), 1);
    }
    ~ComVariable() { ::unsetenv(name_.c_str()); }

private:
    std::string name_;
};

TEST(FindTheUnit, ThePortsAreListedAsProbedAndAUnitAddedThereTakesChanges)
{
    Rx74Emulator unit, silent({.silent = true}), held;
    ASSERT_TRUE(unit.Start() && silent.Start() && held.Start());
    const HeldPort other(held.DevicePath());
    ASSERT_TRUE(other.Ok());
    const ComVariable com1(251, unit.DevicePath()), com2(252, silent.DevicePath()), com3(253, held.DevicePath());

    EmptyServer server;
    const RemoteClient client = server.Client();
    PushClient push("127.0.0.1", server.Port());
    const std::optional<json> welcome = push.WaitForType("units");
    ASSERT_TRUE(welcome);
    EXPECT_TRUE((*welcome)["units"].empty());
    EXPECT_EQ(client.Get("/api/state").status, 503);
    EXPECT_EQ(client.Get("/api/units/1").status, 404);
    EXPECT_EQ(client.Get("/api/scales").status, 200) << "the page reads them before it has a unit";

    const HttpReply ports = client.Get("/api/ports");
    ASSERT_EQ(ports.status, 200) << ports.body;
    EXPECT_EQ(ports.Json()["lastServed"], "/dev/remembered");
    const json answered = PortOf(ports.Json(), unit.DevicePath());
    EXPECT_EQ(answered["status"], "answered") << ports.body;
    EXPECT_NE(answered["detail"].get<std::string>().find("RX7.4 EMULATOR"), std::string::npos);
    EXPECT_NE(answered["description"].get<std::string>().find("COM251 (QUENBAR_COM251)"), std::string::npos);
    EXPECT_EQ(PortOf(ports.Json(), silent.DevicePath())["status"], "silent");
    const json busy = PortOf(ports.Json(), held.DevicePath());
    EXPECT_EQ(busy["status"], "held");
    EXPECT_NE(busy["detail"].get<std::string>().find("held by another program"), std::string::npos);
    EXPECT_TRUE(held.ReceivedBytes().empty());

    const HttpReply added =
        client.Request("POST", "/api/units", json{{"device", "COM251"}, {"name", "Stage"}}.dump(), "application/json");
    ASSERT_EQ(added.status, 200) << added.body;
    EXPECT_EQ(added.Json()["name"], "Stage");
    EXPECT_EQ(added.Json()["index"], 1);
    EXPECT_EQ(added.Json()["link"]["state"], "connected");
    EXPECT_EQ(server.Remembered(), std::vector<std::string>{unit.DevicePath()});
    const std::optional<json> listed =
        push.WaitFor([](const json& m) { return m["type"] == "units" && !m["units"].empty(); });
    ASSERT_TRUE(listed);
    EXPECT_EQ((*listed)["units"][0]["name"], "Stage");
    EXPECT_TRUE(push.WaitFor([](const json& m) { return m["type"] == "state" && m["unit"] == "Stage"; }));

    unit.ClearReceived();
    ASSERT_EQ(client.Set("lr/gain", 70).status, 200);  // today's paths: the unit added
    EXPECT_EQ(unit.CurrentImage()[1], 70);
    const json again = client.Get("/api/ports").Json();
    EXPECT_EQ(PortOf(again, unit.DevicePath())["status"], "served");
    EXPECT_EQ(PortOf(again, unit.DevicePath())["unit"], "Stage");
    EXPECT_EQ(again["lastServed"], unit.DevicePath());
    const json probed = client.Get("/api/ports?probe=" + silent.DevicePath()).Json();
    ASSERT_EQ(probed["ports"].size(), 1u);
    EXPECT_EQ(probed["ports"][0]["status"], "silent");

    const auto post = [&](const json& body) {
        return client.Request("POST", "/api/units", body.dump(), "application/json");
    };
    EXPECT_EQ(post({{"device", unit.DevicePath()}}).status, 409) << "the device is served";
    EXPECT_EQ(post({{"device", silent.DevicePath()}, {"name", "Stage"}}).status, 409) << "the name is taken";
    EXPECT_EQ(post({{"device", "/dev/no-such-unit"}}).status, 502);
    const HttpReply quiet = post({{"device", silent.DevicePath()}});
    EXPECT_EQ(quiet.status, 504);
    EXPECT_NE(quiet.Error().find("no answer to the attention byte"), std::string::npos) << quiet.body;
    EXPECT_EQ(post({{"device", 5}}).status, 400);
    EXPECT_EQ(client.Get("/api/units").Json()["units"].size(), 1u) << "a unit that did not answer is not served";

    // Moved to another unit's port, it works that one.
    Rx74Emulator second;
    ASSERT_TRUE(second.Start());
    const HttpReply moved = client.PutJson("/api/units/Stage/port", {{"device", second.DevicePath()}});
    ASSERT_EQ(moved.status, 200) << moved.body;
    EXPECT_EQ(moved.Json()["device"], second.DevicePath());
    ASSERT_EQ(client.Set("lr/gain", 90).status, 200);
    EXPECT_EQ(second.CurrentImage()[1], 90);
    EXPECT_EQ(unit.CurrentImage()[1], 70);
    EXPECT_EQ(server.Remembered().back(), second.DevicePath());

    const HttpReply removed = client.Request("DELETE", "/api/units/Stage");
    ASSERT_EQ(removed.status, 200) << removed.body;
    EXPECT_TRUE(removed.Json()["units"].empty());
    EXPECT_EQ(client.Get("/api/state").status, 503);
    EXPECT_TRUE(push.WaitFor([](const json& m) { return m["type"] == "units" && m["units"].empty(); }));
    const HttpReply free = post({{"device", second.DevicePath()}});
    EXPECT_EQ(free.status, 200) << "the port was let go: " << free.body;
    EXPECT_EQ(free.Json()["name"], "Unit 1");
}

TEST(FindTheUnit, OnlyATokenHolderListsPortsOrAddsAUnit)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    EmptyServer server("find-token-0123456789");
    const std::string body = json{{"device", unit.DevicePath()}}.dump();
    EXPECT_EQ(server.Stranger().Request("POST", "/api/units", body, "application/json").status, 401);
    EXPECT_EQ(server.Stranger().Get("/api/ports").status, 401);
    EXPECT_TRUE(unit.ReceivedBytes().empty());
    EXPECT_TRUE(server.Client().Get("/api/units").Json()["units"].empty());
    EXPECT_EQ(server.Client().Request("POST", "/api/units", body, "application/json").status, 200);
}

}  // namespace
