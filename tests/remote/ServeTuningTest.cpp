// The remote's PEQ tuning against an emulated unit: a measurement kept per
// channel (or refused naming the line), the fit's proposal, and the three
// bands set in one request, which reaches the unit as exactly the changed
// bands' messages or, with any value wrong, not at all.
#include <gtest/gtest.h>

#include <future>
#include <optional>

#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "tests/remote/RemoteRig.h"
#include "tests/support/TuningSamples.h"
#include "tuning/PeqBands.h"

namespace {

using namespace std::chrono_literals;

// A fit that waits, once it has started, until the test lets it go on.
struct HeldFit {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();

    std::function<FitResult(const LevelCurve&, const FitOptions&)> Fit()
    {
        return [this](const LevelCurve& measurement, const FitOptions& options) {
            started.set_value();
            released.wait();
            return FitPeq(measurement, options);
        };
    }
};

HttpReply PutText(const RemoteClient& client, const std::string& target, const std::string& text)
{
    return client.Request("PUT", target, text, "text/plain");
}

HttpReply PostFit(const RemoteClient& client, const std::string& channel, const json& options = json::object())
{
    return client.Request("POST", "/api/fit/" + channel, options.dump(), "application/json");
}

ParameterModel UnitSetting(const Rx74Emulator& unit)
{
    ParameterModel setting{};
    LoadDefaults(setting);
    ImageToModel(setting, unit.CurrentImage().data());
    return setting;
}

// As a measurement program exports it.
std::string LevelCurve() { return MeasurementText("* freq dB", ' '); }

TEST(RemoteTuning, AMeasurementIsKeptPerChannelAnnouncedAndRefusedByLine)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    const auto push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));

    const HttpReply kept = PutText(client, "/api/measurements/sub", LevelCurve());
    ASSERT_EQ(kept.status, 200) << kept.body;
    const json measurement = kept.Json();
    EXPECT_EQ(measurement["hz"].size(), measurement["db"].size());
    EXPECT_EQ(measurement["levels"].size(), std::size_t(kFreqSteps));
    EXPECT_TRUE(measurement["levels"][10].is_null());  // below the measured span
    const std::optional<json> told = push->WaitForType("measurement");
    ASSERT_TRUE(told);
    EXPECT_EQ((*told)["channel"], "sub");
    EXPECT_EQ((*told)["measurement"]["hz"], measurement["hz"]);
    EXPECT_EQ(client.Get("/api/measurements/sub").Json(), measurement);
    EXPECT_EQ(client.Get("/api/measurements/lr").status, 404);

    // A broken file leaves the kept one alone.
    const HttpReply broken = PutText(client, "/api/measurements/sub", "* sweep\n20 80\n20 81\n");
    EXPECT_EQ(broken.status, 400);
    EXPECT_NE(broken.Error().find("line 3"), std::string::npos) << broken.Error();
    EXPECT_EQ(client.Get("/api/measurements/sub").Json(), measurement);
    EXPECT_EQ(client.Request("PUT", "/api/measurements/sub", "20 80", "application/json").status, 415);
    EXPECT_EQ(PutText(client, "/api/measurements/centre", LevelCurve()).status, 400);

    EXPECT_EQ(client.Request("DELETE", "/api/measurements/sub").status, 200);
    EXPECT_EQ(client.Get("/api/measurements/sub").status, 404);
    const std::optional<json> gone = push->WaitForType("measurement");
    ASSERT_TRUE(gone);
    EXPECT_TRUE((*gone)["measurement"].is_null());
    EXPECT_TRUE(rig.TakePayloads().empty());  // nothing of it is the unit's
}

TEST(RemoteTuning, TheFitsProposalSetInOneRequestReachesTheUnitAsItsBands)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    EXPECT_EQ(PostFit(client, "lr").status, 409);  // nothing to fit yet
    ASSERT_EQ(PutText(client, "/api/measurements/lr", LevelCurve()).status, 200);
    EXPECT_EQ(PostFit(client, "lr", {{"maxBoostDb", "6"}}).status, 400);
    EXPECT_EQ(PostFit(client, "lr", {{"lowHz", 5000}, {"highHz", 100}}).status, 400);
    EXPECT_EQ(PostFit(client, "lr", {{"width", 3}}).status, 400);

    const HttpReply fit = PostFit(client, "lr", {{"maxBoostDb", 3.0}});
    ASSERT_EQ(fit.status, 200) << fit.body;
    const json proposal = fit.Json();
    EXPECT_LT(proposal["rmsAfterDb"].get<double>(), proposal["rmsBeforeDb"].get<double>());
    const PeqBands bands = PeqBandsOfJson(proposal["peq"]);
    for (const PeqBand& band : bands) EXPECT_LE(band.gain, kGainStepZero + 30) << "within the boost asked for";
    EXPECT_EQ(proposal["values"].size(), std::size_t(kPeqBands));
    const json& curve = proposal["curve"];
    EXPECT_EQ(curve["hz"].size(), curve["predicted"].size());
    EXPECT_TRUE(rig.TakePayloads().empty());  // a preview only

    const ParameterModel before = UnitSetting(rig.unit);
    const HttpReply set = client.PutJson("/api/settings/lr/peq", {{"peq", proposal["peq"]}});
    ASSERT_EQ(set.status, 200) << set.body;
    EXPECT_EQ(PeqBandsOfJson(set.Json()["settings"]["peq"]), bands);
    const PeqBands previous = ReadPeqBands(before, kSlotLeftRight);
    const auto expected = BandMessages(before, kSlotLeftRight, previous, bands);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(rig.TakePayloads(), expected);
    const ParameterModel fitted = UnitSetting(rig.unit);
    EXPECT_EQ(ReadPeqBands(fitted, kSlotLeftRight), bands);

    // The same bands again change nothing, and nothing is sent.
    EXPECT_EQ(client.PutJson("/api/settings/lr/peq", {{"peq", proposal["peq"]}}).status, 200);
    EXPECT_TRUE(rig.TakePayloads().empty());

    // One step of the history, whose undo brings every band back at once.
    const json history = client.Get("/api/history").Json();
    ASSERT_EQ(history["steps"].size(), 1u) << history.dump();
    EXPECT_EQ(history["undo"], "PEQ Left & Right");
    ASSERT_EQ(client.Request("POST", "/api/undo").status, 200);
    EXPECT_EQ(ReadPeqBands(UnitSetting(rig.unit), kSlotLeftRight), previous);
    EXPECT_EQ(rig.TakePayloads(), BandMessages(fitted, kSlotLeftRight, bands, previous));
}

TEST(RemoteTuning, ThreeBandsWithOneWrongValueAreRefusedWhole)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    const json good{{"gain", "-3dB"}, {"freq", "100Hz"}};
    const json cases[] = {
        {{"peq", {good, {{"gain", "+40dB"}}, good}}},  // beyond the range
        {{"peq", {good, good, {{"width", 3}}}}},       // no such field
        {{"peq", {good, good}}},                       // two bands
        {{"peq", {good, good, good}}, {"slot", 1}},    // another key
    };
    for (const json& body : cases) {
        const HttpReply reply = client.PutJson("/api/settings/sub/peq", body);
        EXPECT_EQ(reply.status, 400) << body.dump();
    }
    EXPECT_TRUE(rig.TakePayloads().empty());
    EXPECT_EQ(client.PutJson("/api/settings/sub/peq", {{"peq", {good, json::object(), good}}}).status, 200);
    EXPECT_EQ(rig.TakePayloads().size(), std::size_t(2));  // the two bands that changed

    // An imported preamp's level goes with the bands, in the same step, before them as it lowers the level.
    const int level = UnitSetting(rig.unit).gain[kSlotSub];
    const json lower{{"peq", {good, good, {{"gain", "+2dB"}}}}, {"gain", "-3dB"}};
    const HttpReply set = client.PutJson("/api/settings/sub/peq", lower);
    ASSERT_EQ(set.status, 200) << set.body;
    ParameterModel after = UnitSetting(rig.unit);
    EXPECT_EQ(after.gain[kSlotSub], 122);
    after.curChannel = kSlotSub;
    const std::vector<Payload> sent = rig.TakePayloads();
    ASSERT_EQ(sent.size(), 3u);  // the level, then bands 2 and 3
    EXPECT_EQ(sent[0], ParameterPayload(after, PID_SUB_GAIN));
    EXPECT_EQ(client.Get("/api/history").Json()["undo"], "PEQ and Level Sub");
    ASSERT_EQ(client.Request("POST", "/api/undo").status, 200);
    EXPECT_EQ(UnitSetting(rig.unit).gain[kSlotSub], level);
}

}  // namespace

namespace {

TEST(RemoteTuning, TheServerAnswersOthersWhileAFitRunsAndStopsWithOneUnderWay)
{
    HeldFit held;
    RigOptions options;
    options.fit = held.Fit();
    std::future<HttpReply> fit;  // outlives the server, whose end closes its connection
    std::optional<ServerRig> rig(std::in_place, options);
    const RemoteClient client = rig->Client();
    ASSERT_EQ(PutText(client, "/api/measurements/lr", LevelCurve()).status, 200);

    fit = std::async(std::launch::async, [client] { return PostFit(client, "lr"); });
    ASSERT_EQ(held.started.get_future().wait_for(10s), std::future_status::ready);
    auto state = std::async(std::launch::async, [client] { return client.Get("/api/state"); });
    const bool answeredDuringTheFit = state.wait_for(10s) == std::future_status::ready;
    held.release.set_value();
    EXPECT_TRUE(answeredDuringTheFit);
    EXPECT_EQ(state.get().status, 200);
    const HttpReply fitted = fit.get();
    EXPECT_EQ(fitted.status, 200) << fitted.body;
    EXPECT_TRUE(fitted.Json().contains("peq"));

    // Stopped while a fit runs: the fit ends unanswered, and nothing else happens.
    HeldFit second;
    rig.reset();
    options.fit = second.Fit();
    rig.emplace(options);
    const RemoteClient again = rig->Client();
    ASSERT_EQ(PutText(again, "/api/measurements/lr", LevelCurve()).status, 200);
    fit = std::async(std::launch::async, [again] { return PostFit(again, "lr"); });
    ASSERT_EQ(second.started.get_future().wait_for(10s), std::future_status::ready);
    rig->StopServer();
    second.release.set_value();
    rig.reset();
    EXPECT_THROW(fit.get(), std::exception);
}

}  // namespace
