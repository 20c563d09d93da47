// The remote's PEQ tuning against an emulated unit: a measurement kept per
// channel (or refused naming the line), the fit's proposal, and the three
// bands set in one request, which reaches the unit as exactly the changed
// bands' messages or, with any value wrong, not at all.
#include <gtest/gtest.h>

#include <sstream>

#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "tests/remote/RemoteRig.h"
#include "tuning/PeqBands.h"

namespace {

// A loudspeaker that two bands would make flat, as a measurement program exports it.
std::string MeasurementText()
{
    PeqBands correction;
    correction[0] = {150, kGainStepZero + 40, 20, Shelf::None, false};
    correction[1] = {300, kGainStepZero - 50, 15, Shelf::None, false};
    const ResponseCurve curve = PeqBandsCurve(correction);
    std::ostringstream text;
    text << "* freq dB phase\n";
    for (int k = 20; k < kFreqSteps; k += 2) text << FreqTable[k] << ' ' << 80.0 - curve[k] << " 0\n";
    return text.str();
}

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

PeqBands BandsOfJson(const json& peq)
{
    PeqBands bands;
    for (int band = 0; band < kPeqBands; ++band) {
        const json& b = peq[static_cast<std::size_t>(band)];
        bands[static_cast<std::size_t>(band)] = {
            b["freq"].get<int>(), b["gain"].get<int>(), b["bandwidth"].get<int>(),
            b["loShelf"].get<int>() ? Shelf::Low : (b["hiShelf"].get<int>() ? Shelf::High : Shelf::None),
            b["flat"].get<int>() != 0};
    }
    return bands;
}

// The band messages that take `setting`'s bands of `slot` to `after`.
std::vector<Payload> BandMessages(ParameterModel setting, int slot, const PeqBands& after)
{
    const PeqBands before = ReadPeqBands(setting, slot);
    WritePeqBands(setting, slot, after);
    std::vector<Payload> messages;
    for (int band = 0; band < kPeqBands; ++band) {
        if (before[static_cast<std::size_t>(band)] == after[static_cast<std::size_t>(band)]) continue;
        setting.curChannel = slot;
        setting.curBand = band;
        messages.push_back(ParameterPayload(setting, PID_PEQ_GAIN));
    }
    return messages;
}

TEST(RemoteTuning, AMeasurementIsKeptPerChannelAnnouncedAndRefusedByLine)
{
    ServerRig rig;
    const RemoteClient client = rig.Client();
    const auto push = rig.Push();
    ASSERT_TRUE(push->WaitForType("state"));

    const HttpReply kept = PutText(client, "/api/measurements/sub", MeasurementText());
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
    EXPECT_EQ(PutText(client, "/api/measurements/centre", MeasurementText()).status, 400);

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
    ASSERT_EQ(PutText(client, "/api/measurements/lr", MeasurementText()).status, 200);
    EXPECT_EQ(PostFit(client, "lr", {{"maxBoostDb", "6"}}).status, 400);
    EXPECT_EQ(PostFit(client, "lr", {{"lowHz", 5000}, {"highHz", 100}}).status, 400);
    EXPECT_EQ(PostFit(client, "lr", {{"width", 3}}).status, 400);

    const HttpReply fit = PostFit(client, "lr", {{"maxBoostDb", 3.0}});
    ASSERT_EQ(fit.status, 200) << fit.body;
    const json proposal = fit.Json();
    EXPECT_LT(proposal["rmsAfterDb"].get<double>(), proposal["rmsBeforeDb"].get<double>());
    const PeqBands bands = BandsOfJson(proposal["peq"]);
    for (const PeqBand& band : bands) EXPECT_LE(band.gain, kGainStepZero + 30) << "within the boost asked for";
    EXPECT_EQ(proposal["values"].size(), std::size_t(kPeqBands));
    const json& curve = proposal["curve"];
    EXPECT_EQ(curve["hz"].size(), curve["predicted"].size());
    EXPECT_TRUE(rig.TakePayloads().empty());  // a preview only

    const ParameterModel before = UnitSetting(rig.unit);
    const HttpReply set = client.PutJson("/api/settings/lr/peq", {{"peq", proposal["peq"]}});
    ASSERT_EQ(set.status, 200) << set.body;
    EXPECT_EQ(BandsOfJson(set.Json()["settings"]["peq"]), bands);
    const auto expected = BandMessages(before, kSlotLeftRight, bands);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(rig.TakePayloads(), expected);
    EXPECT_EQ(ReadPeqBands(UnitSetting(rig.unit), kSlotLeftRight), bands);

    // The same bands again change nothing, and nothing is sent.
    EXPECT_EQ(client.PutJson("/api/settings/lr/peq", {{"peq", proposal["peq"]}}).status, 200);
    EXPECT_TRUE(rig.TakePayloads().empty());
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
}

}  // namespace
