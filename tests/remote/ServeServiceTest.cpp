// What the remote gives beyond the setting: each unit's communication log
// (a bounded window, followed live by the clients that ask), the settings
// report where the build has none, and the service functions, which wait
// for an explicit confirm.
#include <gtest/gtest.h>

#include "tests/cli/MemoryFileBytes.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kJson = "application/json";

bool Mentions(const json& lines, const std::string& meaning)
{
    for (const json& line : lines)
        if (line["text"].get<std::string>().find(meaning) != std::string::npos) return true;
    return false;
}

TEST(RemoteLog, TheWindowKeepsTheLatestLinesAndFollowsAChangeForThoseWhoAsked)
{
    RigOptions options;
    options.logLines = 12;
    ServerRig rig(options);
    const RemoteClient client = rig.Client();
    const json first = client.Get("/api/log").Json();
    ASSERT_FALSE(first["lines"].empty());
    EXPECT_TRUE(Mentions(first["lines"], "read the current setting")) << first.dump();
    const long seq = first["seq"];

    PushClient listener("127.0.0.1", rig.Port(), "/api/events?log=1");
    PushClient later("127.0.0.1", rig.Port());
    PushClient bystander("127.0.0.1", rig.Port());
    ASSERT_TRUE(listener.WaitForType("state") && later.WaitForType("state") && bystander.WaitForType("state"));
    later.Send(json{{"type", "subscribe"}, {"log", true}}.dump());
    std::this_thread::sleep_for(100ms);  // the subscription is read before the change

    ASSERT_EQ(client.Set("lr/gain", 75).status, 200);
    const json after = client.Get("/api/log?after=" + std::to_string(seq)).Json();
    ASSERT_FALSE(after["lines"].empty());
    EXPECT_EQ(after["lines"][0]["seq"], seq + 1);
    EXPECT_TRUE(Mentions(after["lines"], "gain Left&Right")) << after.dump();
    for (PushClient* client : {&listener, &later}) {
        const std::optional<json> log = client->WaitFor(
            [](const json& m) { return m["type"] == "log" && Mentions(m["lines"], "gain Left&Right"); });
        ASSERT_TRUE(log);
        EXPECT_EQ((*log)["unit"], "Unit 1");
    }
    EXPECT_FALSE(bystander.WaitForType("log", 200ms)) << "only those who asked hear the log";

    for (int step = 0; step < 10; ++step) ASSERT_EQ(client.Set("lr/gain", 60 + step).status, 200);
    const json window = client.Get("/api/units/1/log").Json();
    EXPECT_EQ(window["lines"].size(), 12u);
    EXPECT_EQ(window["dropped"].get<long>() + 12, window["seq"].get<long>());
    EXPECT_EQ(window["lines"].back()["seq"], window["seq"]);
    const HttpReply text = client.Get("/api/log.txt");
    EXPECT_EQ(text.status, 200);
    EXPECT_EQ(text.headers.at("content-type").rfind("text/plain", 0), 0u);
    EXPECT_NE(text.headers.at("content-disposition").find("attachment"), std::string::npos);
    EXPECT_NE(text.body.find(window["lines"].back()["text"].get<std::string>()), std::string::npos);
    EXPECT_EQ(client.Get("/api/log?after=x").status, 400);
}

TEST(RemoteService, ResetAndLogoWaitForTheConfirmAndThenReachTheUnit)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    ASSERT_EQ(client.Set("lr/gain", 40).status, 200);
    rig.TakePayloads();

    const HttpReply asked = client.Request("POST", "/api/service/reset", "{}", kJson);
    EXPECT_EQ(asked.status, 428);
    EXPECT_NE(asked.Json()["confirm"].get<std::string>().find("six memories"), std::string::npos) << asked.body;
    EXPECT_EQ(client.Request("POST", "/api/service/reset", R"({"confirm": "yes"})", kJson).status, 428);
    const HttpReply logoAsked = client.PutJson("/api/service/logo", {{"line1", "Hall"}, {"line2", "Left"}});
    EXPECT_EQ(logoAsked.status, 428);
    EXPECT_EQ(client.PutJson("/api/service/logo", {{"line1", std::string(21, 'x')}, {"confirm", true}}).status, 400);
    EXPECT_EQ(client.PutJson("/api/service/reset", {{"confirm", true}}).status, 405);
    EXPECT_TRUE(rig.TakePayloads().empty()) << "nothing goes to the unit unconfirmed";
    EXPECT_EQ(rig.unit.CurrentImage()[1], 40);

    const HttpReply reset = client.Request("POST", "/api/units/1/service/reset", R"({"confirm": true})", kJson);
    ASSERT_EQ(reset.status, 200) << reset.body;
    EXPECT_EQ(rig.unit.CurrentImage(), DefaultImage());
    EXPECT_EQ(reset.Json()["state"]["settings"]["lr"]["gain"], DefaultImage()[1]);
    EXPECT_EQ(client.Get("/api/history").Json()["undo"], "Reset");
    ASSERT_EQ(client.Request("POST", "/api/undo").status, 200);
    EXPECT_EQ(rig.unit.CurrentImage()[1], 40) << "an undo takes the setting back";

    const HttpReply logo =
        client.PutJson("/api/service/logo", {{"line1", "Hall"}, {"line2", "Left"}, {"confirm", true}});
    ASSERT_EQ(logo.status, 200) << logo.body;
    EXPECT_EQ(rig.unit.Logo(), "Hall" + std::string(12, ' ') + "Left" + std::string(12, ' '));
}

TEST(RemoteReport, ABuildWithoutTheReportSaysSoInPlainText)
{
    ServerRig rig;
    const HttpReply report = rig.Client().Get("/api/report.pdf");
    EXPECT_EQ(report.status, 501);
    EXPECT_EQ(report.headers.at("content-type").rfind("text/plain", 0), 0u);
    EXPECT_NE(report.body.find("no settings report"), std::string::npos);
}

}  // namespace
