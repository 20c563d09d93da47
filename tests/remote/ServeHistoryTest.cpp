// One history of the setting for every client of the remote: a gesture is
// one step, undo and redo give the unit back the exact values of a step,
// only the fields that differ are sent, a new edit drops the redo, and a
// unit found with another setting starts a new history; A and B.
#include <gtest/gtest.h>

#include <thread>

#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

HttpReply Post(const ServerRig& rig, const std::string& target) { return rig.Client().Request("POST", target); }

ParameterModel Factory()
{
    ParameterModel model{};
    LoadDefaults(model);
    return model;
}

TEST(RemoteHistory, OneGestureIsOneStepWhoseUndoGivesTheUnitItsExactValuesBackForEveryClient)
{
    ServerRig rig;
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));
    const auto factoryImage = rig.unit.CurrentImage();
    EXPECT_EQ(Post(rig, "/api/undo").status, 409);

    for (const int gain : {120, 118, 115})
        ASSERT_EQ(rig.Client().PutJson("/api/settings/lr/gain", {{"value", gain}, {"gesture", "drag-1"}}).status, 200);
    ASSERT_EQ(rig.Client().Set("sub/mute", "on").status, 200);
    const json history = rig.Client().Get("/api/history").Json();
    ASSERT_EQ(history["steps"].size(), 2u);
    EXPECT_EQ(history["steps"][0]["label"], "Mute Sub on");
    EXPECT_EQ(history["steps"][1]["label"], "Level Left & Right \u22126.5 dB");
    EXPECT_EQ(history["steps"][1]["changes"],
              json::parse(R"([{"channel":"lr","field":"gain","before":128,"after":115}])"));
    EXPECT_EQ(history["undo"], "Mute Sub on");
    EXPECT_EQ(history["redo"], nullptr);

    // Only the field that differs goes to the unit, with the value it had.
    rig.TakePayloads();
    const HttpReply undone = Post(rig, "/api/undo");
    ASSERT_EQ(undone.status, 200);
    EXPECT_EQ(undone.Json()["settings"]["sub"]["mute"], 0);
    EXPECT_EQ(undone.Json()["history"]["redo"], "Mute Sub on");
    ParameterModel expected = Factory();
    expected.gain[kSlotLeftRight] = 115;
    EXPECT_EQ(rig.TakePayloads(), std::vector<Payload>{ParameterPayload(expected, PID_SUB_MUTE)});

    ASSERT_EQ(Post(rig, "/api/undo").status, 200);
    EXPECT_EQ(rig.unit.CurrentImage(), factoryImage);
    const HttpReply nothing = Post(rig, "/api/undo");
    EXPECT_EQ(nothing.status, 409);
    EXPECT_EQ(nothing.Error(), "Nothing to undo.");

    ASSERT_EQ(Post(rig, "/api/redo").status, 200);
    EXPECT_EQ(rig.unit.CurrentImage()[1], 115);
    // Told to every client: the setting, and what Undo and Redo would do.
    ASSERT_TRUE(push->WaitFor([](const json& m) { return m["type"] == "channel" && m["settings"]["gain"] == 115; }));
    ASSERT_TRUE(push->WaitFor([](const json& m) {
        return m["type"] == "history" && m["undo"] == "Level Left & Right \u22126.5 dB" && m["redo"] == "Mute Sub on";
    }));

    // A new edit after an undo: nothing to redo any more.
    ASSERT_EQ(rig.Client().Set("lr/delay", 5).status, 200);
    const HttpReply noRedo = Post(rig, "/api/redo");
    EXPECT_EQ(noRedo.status, 409);
    EXPECT_EQ(noRedo.Error(), "Nothing to redo.");
    EXPECT_EQ(rig.Client().Get("/api/history").Json()["steps"].size(), 2u);
    EXPECT_EQ(rig.Client().Request("GET", "/api/undo").status, 405);
    EXPECT_EQ(rig.Client().PutJson("/api/settings/lr/gain", {{"value", 100}, {"gesture", 1.5}}).status, 400);
}

TEST(RemoteHistory, AUnitFoundWithAnotherSettingStartsANewHistoryAndSaysSo)
{
    RigOptions options;
    options.timing.check = 100ms;
    ServerRig rig(options);
    const std::unique_ptr<PushClient> push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));
    ASSERT_EQ(rig.Client().Set("lr/gain", 100).status, 200);
    ASSERT_TRUE(push->WaitFor([](const json& m) { return m["type"] == "history" && m["undoCount"] == 1; }));
    // Read back unchanged (every 100 ms here), the setting keeps its history.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(rig.Client().Get("/api/history").Json()["undoCount"], 1);

    auto image = rig.unit.CurrentImage();
    image[1] = 60;
    rig.unit.SetCurrentImage(image);
    const std::optional<json> restarted =
        push->WaitFor([](const json& m) { return m["type"] == "history" && m.contains("restarted"); });
    ASSERT_TRUE(restarted);
    EXPECT_EQ((*restarted)["undoCount"], 0);
    EXPECT_EQ(Post(rig, "/api/undo").status, 409);
}

TEST(RemoteHistory, ASwitchToAOrBSendsOnlyTheDifferingFieldsLevelsDownFirstAsOneStep)
{
    ServerRig rig;
    EXPECT_EQ(Post(rig, "/api/ab/A/apply").status, 409);
    ASSERT_EQ(rig.Client().Request("PUT", "/api/ab/A").status, 200);
    ASSERT_EQ(rig.Client().Set("lr/gain", 140).status, 200);
    ASSERT_EQ(rig.Client().Set("sub/delay", 9).status, 200);
    const json kept = rig.Client().Request("PUT", "/api/ab/B").Json();
    EXPECT_EQ(kept["ab"], json::parse(R"({"A":true,"B":true,"active":"B","drifted":false})"));

    rig.TakePayloads();
    const HttpReply switched = Post(rig, "/api/ab/A/apply");
    ASSERT_EQ(switched.status, 200);
    EXPECT_EQ(switched.Json()["history"]["undo"], "Switch to A");
    EXPECT_EQ(switched.Json()["history"]["ab"]["active"], "A");
    const ParameterModel factory = Factory();
    ParameterModel delayed = factory;
    delayed.curChannel = kSlotSub;
    EXPECT_EQ(rig.TakePayloads(),
              std::vector<Payload>({ParameterPayload(factory, PID_LR_GAIN), ParameterPayload(delayed, PID_DELAY)}));
    EXPECT_EQ(rig.unit.CurrentImage()[1], 128);

    ASSERT_EQ(rig.Client().Set("sub/polarity", "on").status, 200);
    EXPECT_EQ(rig.Client().Get("/api/history").Json()["ab"]["drifted"], true);
    EXPECT_EQ(rig.Client().Request("POST", "/api/ab/C/apply").status, 404);
}

}  // namespace
