// Several units in one remote: each addressed by name or index, the push
// channel naming the unit of each message, and a unit that falls silent or
// goes away holding up none of the others.
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <thread>

#include "RemoteUnit.h"
#include "tests/cli/CliRunner.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

std::function<bool(const json&)> LinkOf(const std::string& unit, const std::string& state)
{
    return [unit, state](const json& message) { return message["unit"] == unit && LinkIs(state)(message); };
}

// Whether the client has been told so after its first `since` messages, waiting up to 10 s.
bool Heard(const PushClient& push, const std::function<bool(const json&)>& told, std::size_t since = 0)
{
    for (int wait = 0; wait < 400; ++wait) {
        const std::vector<json> messages = push.Received();
        for (std::size_t i = since; i < messages.size(); ++i)
            if (told(messages[i])) return true;
        std::this_thread::sleep_for(25ms);
    }
    return false;
}

TEST(RemoteUnits, EachUnitIsAddressedByNameOrIndexAndThePushNamesIt)
{
    UnitsRig rig({"Mains", "Sub towers", "Delay"});
    PushClient push = rig.Push();
    const RemoteClient client = rig.Client();
    for (const char* name : {"Mains", "Sub towers", "Delay"}) {
        const std::optional<json> state = push.WaitForType("state");
        ASSERT_TRUE(state);
        EXPECT_EQ((*state)["unit"], name);
        EXPECT_EQ(state->contains("units"), std::string(name) == "Mains") << "only the first lists the units";
    }
    const json listed = client.Get("/api/units").Json();
    ASSERT_EQ(listed["units"].size(), 3u);
    EXPECT_EQ(listed["units"][1]["index"], 2);
    EXPECT_EQ(listed["units"][1]["name"], "Sub towers");
    EXPECT_EQ(listed["units"][1]["device"], rig.units[1]->DevicePath());
    EXPECT_EQ(listed["units"][1]["link"]["state"], "connected");
    EXPECT_EQ(listed["units"][1]["memoriesUsed"], 6);
    EXPECT_EQ(client.Get("/api/units/1").Json()["name"], "Mains");
    EXPECT_EQ(client.Get("/api/units/Delay/").Json()["index"], 3);

    const int levels[3] = {rig.Level(0), rig.Level(1), rig.Level(2)};
    ASSERT_EQ(client.Set("lr/gain", 61).status, 200);  // today's path: the first unit
    const HttpReply named = client.PutJson("/api/units/Sub%20towers/settings/lr/gain", {{"value", 62}});
    ASSERT_EQ(named.status, 200) << named.body;
    ASSERT_EQ(client.PutJson("/api/units/3/settings/lr/gain", {{"value", 63}}).status, 200);
    EXPECT_EQ(rig.Level(0), 61);
    EXPECT_EQ(rig.Level(1), 62);
    EXPECT_EQ(rig.Level(2), 63);
    EXPECT_NE(levels[1], 62);
    const std::optional<json> change =
        push.WaitFor([](const json& message) { return message["type"] == "channel" && message["unit"] == "Sub towers"; });
    ASSERT_TRUE(change);
    EXPECT_EQ((*change)["settings"]["gain"], 62);
    EXPECT_EQ((*change)["seq"], named.Json()["seq"]);

    // History, memories and A/B are each unit's own.
    ASSERT_EQ(client.Request("POST", "/api/units/Delay/undo").status, 200);
    EXPECT_EQ(rig.Level(2), levels[2]);
    EXPECT_EQ(rig.Level(1), 62);
    EXPECT_EQ(client.Get("/api/units/2/history").Json()["undoCount"], 1);
    ASSERT_EQ(client.Request("DELETE", "/api/units/2/memories/3").status, 200);
    EXPECT_EQ(client.Get("/api/units/Sub%20towers").Json()["memoriesUsed"], 5);
    EXPECT_EQ(client.Get("/api/units/Mains").Json()["memoriesUsed"], 6);
    EXPECT_TRUE(Heard(push, [](const json& message) {
        return message["type"] == "memories" && message["unit"] == "Sub towers" && !message["memories"][2]["used"];
    }));

    struct Refused {
        std::string target;
        int status;
    };
    for (const Refused& refused : {Refused{"/api/units/4/state", 404}, Refused{"/api/units/0/state", 404},
                                   Refused{"/api/units/Sub/state", 404}, Refused{"/api/units/%zz/state", 400},
                                   Refused{"/api/units/Delay%2/state", 400}, Refused{"/api/units/Delay/nothing", 404},
                                   Refused{"/api/units/99999999999999999999/state", 404}})
        EXPECT_EQ(client.Get(refused.target).status, refused.status) << refused.target;
    EXPECT_EQ(client.Request("DELETE", "/api/units").status, 405);
}

TEST(RemoteUnits, AUnitThatFallsSilentOrGoesAwayHoldsUpNoneOfTheOthers)
{
    UnitsRig rig({"Left", "Right", "Subs"});
    PushClient push = rig.Push();
    const RemoteClient client = rig.Client();
    rig.units[1]->SetFaults({.silent = true});
    rig.units[2]->Stop();

    // Edits to the silent unit wait for its time-out, the one gone fails;
    // the first unit's meanwhile answer, one after the other.
    std::vector<std::future<int>> waiting;
    for (const std::string target : {"Right", "Right", "Subs"})
        waiting.push_back(std::async(std::launch::async, [&client, target] {
            return client.PutJson("/api/units/" + target + "/settings/lr/gain", {{"value", 40}}).status;
        }));
    for (int level = 50; level < 70; ++level) ASSERT_EQ(client.Set("lr/gain", level).status, 200);
    EXPECT_EQ(rig.Level(0), 69);
    for (std::future<int>& status : waiting) EXPECT_EQ(status.get(), 503);
    EXPECT_TRUE(Heard(push, LinkOf("Right", "not answering")));
    EXPECT_TRUE(Heard(push, LinkOf("Subs", "reconnecting")));
    ASSERT_EQ(client.Set("lr/gain", 70).status, 200);
    EXPECT_EQ(rig.Level(0), 70);

    // Back again, the silent unit is reconnected and takes edits.
    const std::size_t before = push.Received().size();
    rig.units[1]->SetFaults({});
    ASSERT_TRUE(Heard(push, LinkOf("Right", "connected"), before));
    ASSERT_EQ(client.PutJson("/api/units/Right/settings/lr/gain", {{"value", 44}}).status, 200);
    EXPECT_EQ(rig.Level(1), 44);
}

TEST(RemoteUnits, ServesThoseThatAnswerWhenOneCannotBeReachedAtTheStart)
{
    UnitsRig rig({"Mains", "Delay"}, {{}, {.silent = true}});
    const RemoteClient client = rig.Client();
    EXPECT_EQ(client.Get("/api/units").Json()["units"][1]["link"]["state"], "reconnecting");
    ASSERT_EQ(client.Set("lr/gain", 55).status, 200);
    EXPECT_EQ(rig.Level(0), 55);
    PushClient push = rig.Push();
    rig.units[1]->SetFaults({});
    ASSERT_TRUE(Heard(push, LinkOf("Delay", "connected")));
    ASSERT_EQ(client.PutJson("/api/units/Delay/settings/lr/gain", {{"value", 56}}).status, 200);
    EXPECT_EQ(rig.Level(1), 56);
}

TEST(RemoteUnits, TheCommandRefusesNamesThatWouldConfuse)
{
    Rx74Emulator first, second, silent({.silent = true}), alsoSilent({.silent = true});
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(silent.Start());
    ASSERT_TRUE(alsoSilent.Start());
    const std::string a = first.DevicePath(), b = second.DevicePath();
    struct Case {
        std::vector<std::string> ports;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{"Mains=" + a, "Mains=" + b}, 2, "Two units are named \"Mains\""},
        {{"Unit 2=" + a, b}, 2, "Two units are named \"Unit 2\""},  // b is named after its place
        {{"7=" + a}, 2, "not a number"},
        {{"=" + a}, 2, "not a number"},
        {{"Mains=" + silent.DevicePath(), "Delay=" + alsoSilent.DevicePath()}, 3, "Mains: Connect fail!"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"serve", "--listen", "127.0.0.1:0"};
        for (const std::string& port : c.ports) args.insert(args.end(), {"--port", port});
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.ports.front() << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_TRUE(first.ReceivedBytes().empty()) << "a unit was reached although the names were refused";
}

// What is kept for a unit (a tuning proposal waiting to be applied) is
// kept against its identity: a unit made where another went is not the one
// that went.
TEST(RemoteUnits, AUnitMadeWhereAnotherWentIsAnotherUnit)
{
    boost::asio::io_context io;
    std::optional<RemoteUnit> unit;
    unit.emplace(io, "/dev/quenbar-no-such-unit", UnitTiming{});
    const RemoteUnit* at = &*unit;
    const std::uint64_t went = unit->Identity();
    unit.reset();
    unit.emplace(io, "/dev/quenbar-no-such-unit", UnitTiming{});
    ASSERT_EQ(&*unit, at);
    EXPECT_NE(unit->Identity(), went);
}

}  // namespace
