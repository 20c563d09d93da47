// The push channel with several clients, edits from several clients at
// once, and the unit going away and coming back.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

TEST(RemotePush, EveryClientHearsEveryChangeWhoeverMadeIt)
{
    ServerRig rig;
    std::vector<std::unique_ptr<PushClient>> clients;
    for (int i = 0; i < 3; ++i) clients.push_back(rig.Push());
    for (const auto& client : clients) {
        const std::optional<json> welcome = client->WaitForType("state");
        ASSERT_TRUE(welcome);
        EXPECT_EQ((*welcome)["link"]["state"], "connected");
        EXPECT_EQ((*welcome)["settings"]["sub"]["peq"][1]["freq"], 238);
    }

    const HttpReply edit = rig.Client().Set("sub/peq/1/freq", 150);
    ASSERT_EQ(edit.status, 200);
    for (const auto& client : clients) {
        const std::optional<json> change = client->WaitForType("channel");
        ASSERT_TRUE(change);
        EXPECT_EQ((*change)["channel"], "sub");
        EXPECT_EQ((*change)["settings"]["peq"][1]["freq"], 150);
        EXPECT_EQ((*change)["values"]["peq"][1]["freqHz"], 184);
        EXPECT_EQ((*change)["seq"], edit.Json()["seq"]);
    }

    ASSERT_EQ(rig.Client().PutJson("/api/memories/6", {{"name", "Encore"}}).status, 200);
    ASSERT_EQ(rig.Client().Request("POST", "/api/memories/6/recall").status, 200);
    for (const auto& client : clients) {
        const std::optional<json> memories = client->WaitForType("memories");
        ASSERT_TRUE(memories);
        EXPECT_EQ((*memories)["memories"][5]["name"], "Encore");
    }
}

TEST(RemotePush, AChangeIsSentEvenWhenTheServerBelievesTheUnitHasIt)
{
    ServerRig rig;
    ASSERT_EQ(rig.Client().Set("lr/gain", 77).status, 200);
    // Turned down at the unit itself; the server has not read it back yet.
    ImageBytes image = rig.unit.CurrentImage();
    image[1] = 60;
    rig.unit.SetCurrentImage(image);
    rig.TakePayloads();
    EXPECT_EQ(rig.Client().Set("lr/gain", 77).status, 200);
    EXPECT_EQ(rig.TakePayloads(), std::vector<Payload>({{211, 77, 0}}));
    EXPECT_EQ(rig.unit.CurrentImage()[1], 77);

    // The same value from several clients at once: each is answered, each
    // message reaches the unit unless a later one of the field replaced it
    // while it waited.
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i)
        clients.emplace_back([&rig] { EXPECT_EQ(rig.Client().Set("lr/gain", 77).status, 200); });
    for (std::thread& client : clients) client.join();
    const std::vector<Payload> sent = rig.TakePayloads();
    EXPECT_FALSE(sent.empty());
    EXPECT_LE(sent.size(), 4u);
    for (const Payload& payload : sent) EXPECT_EQ(payload, Payload({211, 77, 0}));
}

TEST(RemotePush, TheLatestValueWinsAlsoWhenAnotherMessageCarriedAnOlderOne)
{
    // A slow unit keeps messages waiting. The gain message carries the mute
    // as it was when it was built; a newer mute then replaces the mute's own
    // waiting message, which must go out after the gain, not in its old place.
    ServerRig rig;
    EmulatorFaults slow;
    slow.replyDelayMs = 100;
    rig.unit.SetFaults(slow);
    const auto edit = [&rig](std::string path, int value, std::chrono::milliseconds after) {
        return std::thread([&rig, path, value, after] {
            std::this_thread::sleep_for(after);
            EXPECT_EQ(rig.Client().Set(path, value).status, 200) << path;
        });
    };
    std::thread edits[] = {edit("lr/delay", 10, 0ms), edit("lr/mute", 1, 30ms), edit("lr/gain", 90, 60ms),
                           edit("lr/mute", 0, 90ms)};
    for (std::thread& thread : edits) thread.join();
    json state;
    for (int wait = 0; wait < 100 && state["mute"] != 0; ++wait) {
        std::this_thread::sleep_for(20ms);
        state = rig.Client().Get("/api/state").Json()["settings"]["lr"];
    }
    EXPECT_EQ(state["mute"], 0);
    EXPECT_EQ(state["gain"], 90);
    EXPECT_EQ(rig.unit.CurrentImage()[1], 90);
    rig.StopServer();
    rig.unit.SetFaults({});
    const json unit = json::parse(RunCli({"--port", rig.Device(), "dump"}).out)["settings"]["lr"];
    EXPECT_EQ(unit["mute"], 0) << "the unit kept an older mute";
    EXPECT_EQ(unit["gain"], 90);
}

TEST(RemotePush, OnStopThePushClientsHearEveryChangeAnsweredBeforeTheClose)
{
    ServerRig rig;
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));
    EmulatorFaults slow;
    slow.replyDelayMs = 200;
    rig.unit.SetFaults(slow);
    HttpReply answer;
    std::thread edit([&] { answer = rig.Client().Set("lr/gain", 90); });
    while (rig.unit.ReceivedBytes().empty()) std::this_thread::sleep_for(1ms);
    rig.StopServer();  // the change is in flight
    edit.join();
    ASSERT_EQ(answer.status, 200);
    const std::optional<json> heard = push->WaitForType("channel");
    ASSERT_TRUE(heard) << "the change was answered but never announced";
    EXPECT_EQ((*heard)["settings"]["gain"], 90);
    EXPECT_EQ((*heard)["seq"], answer.Json()["seq"]);
    for (int wait = 0; wait < 100 && !push->Closed(); ++wait) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(push->Closed());
}

TEST(RemotePush, EditsFromSeveralClientsConvergeOnTheUnitsSetting)
{
    ServerRig rig;
    const std::unique_ptr<PushClient> watcher = rig.Push();
    // Fields that share messages (a PEQ band, gain and mute, a filter's type
    // and corner) and fields of their own.
    struct Field {
        const char* path;
        int min;
        int max;
    };
    const Field fields[] = {
        {"lr/gain", 8, 140},           {"lr/mute", 0, 1},          {"lr/peq/0/freq", 0, 394}, {"lr/peq/0/gain", 8, 248},
        {"lr/peq/0/bandwidth", 2, 41}, {"sub/hpfType", 0, 25},     {"sub/hpfFreq", 0, 394},   {"sub/delay", 0, 125},
        {"sub/peq/2/hiShelf", 0, 1},   {"lr/limThreshold", 11, 62}};
    constexpr int kClients = 4, kEdits = 30;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(c + 1));
            const RemoteClient client = rig.Client();
            for (int i = 0; i < kEdits; ++i) {
                const Field& field = fields[random() % std::size(fields)];
                const int value = field.min + static_cast<int>(random() % (field.max - field.min + 1));
                EXPECT_EQ(client.Set(field.path, value).status, 200) << field.path;
            }
        });
    }
    for (std::thread& client : clients) client.join();

    // Every announcement goes out before the answer to its edit: the last has been sent.
    const json state = rig.Client().Get("/api/state").Json()["settings"];
    for (int wait = 0; wait < 100 && FoldedSettings(watcher->Received()) != state; ++wait)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(FoldedSettings(watcher->Received()), state) << "a push client was told another setting";
    EXPECT_LE(rig.TakePayloads().size(), static_cast<std::size_t>(kClients * kEdits));

    // The unit, read afresh by quenbar-cli once the server has let it go.
    rig.StopServer();
    const CliRun dump = RunCli({"--port", rig.Device(), "dump"});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(json::parse(dump.out)["settings"], state);
}

TEST(RemotePush, AHangUpIsAnnouncedAndTheUnitIsReadAfreshWhenItIsBack)
{
    RigOptions options;
    options.faults.hangUpAfterExchanges = 8 + 1;  // the connect sequence and one edit
    ServerRig rig(options);
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));
    const RemoteClient client = rig.Client();
    ASSERT_EQ(client.Set("lr/gain", 90).status, 200);

    const HttpReply lost = client.Set("lr/gain", 91);
    EXPECT_EQ(lost.status, 503);
    EXPECT_EQ(lost.Error(), "The unit did not acknowledge the change.");
    EXPECT_EQ(lost.Json()["link"]["state"], "not answering");
    ASSERT_TRUE(push->WaitFor(LinkIs("not answering")));
    const std::optional<json> retrying = push->WaitFor(LinkIs("reconnecting"));
    ASSERT_TRUE(retrying);
    const HttpReply away = client.Get("/api/state");
    EXPECT_EQ(away.status, 503);
    EXPECT_FALSE(away.Error().empty());
    EXPECT_EQ(away.Error(), away.Json()["link"]["reason"]);

    // Meanwhile the unit is changed at the rack, and plugged in again.
    rig.Unplug();
    rig.unit.SetFaults({});
    ImageBytes image = DefaultImage();
    image[1] = 77;
    rig.unit.SetCurrentImage(image);
    EmulatedMemory away3;
    away3.used = true;
    away3.name = "Away";
    rig.unit.SetMemory(3, away3);
    rig.PlugIn();

    // A link message says so, as it said the loss, and the state read afresh follows.
    const std::optional<json> back = push->WaitFor(LinkIs("connected"), 10s);
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)["type"], "link");
    EXPECT_EQ((*back)["link"]["reason"], "");
    const std::optional<json> fresh = push->WaitForType("state");
    ASSERT_TRUE(fresh);
    EXPECT_EQ((*fresh)["link"]["state"], "connected");
    EXPECT_EQ((*fresh)["settings"]["lr"]["gain"], 77);
    EXPECT_EQ((*fresh)["memories"][2]["name"], "Away");
    EXPECT_EQ(client.Set("lr/gain", 80).status, 200);
    EXPECT_EQ(rig.unit.CurrentImage()[1], 80);
}

TEST(RemotePush, AChangeAtTheUnitAndASilentUnitAreNoticedWhileIdle)
{
    RigOptions options;
    options.timing.check = 100ms;
    ServerRig rig(options);
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));

    ImageBytes image = rig.unit.CurrentImage();
    image[1] = 60;
    rig.unit.SetCurrentImage(image);
    ASSERT_TRUE(push->WaitFor([](const json& message) {
        return message["type"] == "state" && message["settings"]["lr"]["gain"] == 60;
    })) << "the read-back did not tell the change made at the unit";

    EmulatorFaults silent;
    silent.silent = true;
    rig.unit.SetFaults(silent);
    const std::optional<json> lost = push->WaitFor(LinkIs("not answering"));
    ASSERT_TRUE(lost);
    EXPECT_EQ((*lost)["link"]["reason"], "The unit does not answer.");
    const HttpReply refused = rig.Client().Set("lr/gain", 70);
    EXPECT_EQ(refused.status, 503);
    EXPECT_NE(refused.Json()["link"]["state"], "connected");

    rig.unit.SetFaults({});
    ASSERT_TRUE(push->WaitFor(LinkIs("connected"), 10s));
    EXPECT_EQ(rig.Client().Set("lr/gain", 70).status, 200);
}

}  // namespace
