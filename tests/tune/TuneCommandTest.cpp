// quenbar-cli tune against rx74-emulator --audio in its rooms, through
// a private PulseAudio server of its own.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <thread>
#include <utility>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"
#include "tests/measure/MeasureChecks.h"
#include "tests/support/TuningSamples.h"
#include "tuning/CrossoverSum.h"
#include "tuning/TuneProposal.h"

namespace {

using namespace std::chrono_literals;

std::string Room(const std::string& name) { return std::string(QUENBAR_ROOMS) + "/" + name + ".json"; }

json Tune(const std::string& device, std::vector<std::string> more)
{
    std::vector<std::string> args{"--port", device, "tune", "--length", "1", "--json"};
    args.insert(args.end(), more.begin(), more.end());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0 ? json::parse(run.out) : json();
}

// The room's own responses at the microphone (the emulator's truth) on one time base.
MeasuredResponse TruthOf(const json& output)
{
    MeasuredResponse out{output["hz"].get<std::vector<double>>(), {}, output["arrivalMs"].get<double>()};
    for (std::size_t i = 0; i < out.hz.size(); ++i) {
        const double turn = output["phaseDeg"][i].get<double>() * std::numbers::pi / 180.0 -
                            2.0 * std::numbers::pi * out.hz[i] * out.arrivalMs / 1000.0;
        out.response.push_back(std::polar(std::pow(10.0, output["db"][i].get<double>() / 20.0), turn));
    }
    return out;
}

SystemMeasurement RoomTruth(const std::string& room)
{
    const CliRun truthRun = RunProgram({RX74_EMULATOR_PROGRAM, "--room-truth", "--room", room});
    EXPECT_EQ(truthRun.exitCode, 0);
    const json truth = json::parse(truthRun.out)["outputs"];
    return {TruthOf(truth["left"]), TruthOf(truth["right"]), TruthOf(truth["sub"]), {}};
}

CrossoverRegion RegionOf(const json& tune)
{
    const json& r = tune["predicted"]["region"];
    return {r["lowHz"], r["highHz"], r["fromSettings"]};
}

// How many octaves the proposal's region lies from where the room's own
// tops and Sub cross with the Sub's proposed level (the crossovers flat).
double OctavesFromTheTruthsCrossing(const std::string& room, const json& tune)
{
    const CrossoverRegion truths =
        FindCrossoverRegion(ParameterModel{}, RoomTruth(room), tune["proposal"]["levels"]["sub"]["changeDb"]);
    return std::log2(RegionOf(tune).CentreHz() / truths.CentreHz());
}

// The room's own responses with the proposal's PEQ in place, as the
// proposal aligns them (the bands turn the phase in the region too).
SystemMeasurement TruthWithTheProposedPeq(const std::string& room, const json& tune)
{
    ParameterModel factory{};
    LoadDefaults(factory);
    ParameterModel equalised = factory;
    for (const auto& [slot, name] : {std::pair{kSlotLeftRight, "lr"}, std::pair{kSlotSub, "sub"}})
        if (const json& peq = tune["proposal"]["peq"][name]; peq.contains("peq"))
            WritePeqBands(equalised, slot, PeqBandsOfJson(peq["peq"]));
    return PredictedMeasurement(RoomTruth(room), factory, equalised);
}

// How far the sum of the room's own tops and Sub over the proposal's
// crossover region falls short of the best the unit's steps could make of
// it, with the proposal's PEQ, delay and polarity: 0 when it is the best.
double ShortOfTheTruthsBestDb(const std::string& room, const json& tune)
{
    const SystemMeasurement m = TruthWithTheProposedPeq(room, tune);
    const CrossoverRegion region = RegionOf(tune);
    const double changeDb = tune["proposal"]["levels"]["sub"]["changeDb"];
    const Alignment best = AlignSub(m, ParameterModel{}, region, changeDb);

    const json& delay = tune["proposal"]["delay"];
    const int relative = delay["channel"] == "sub" ? delay["steps"].get<int>() : -delay["steps"].get<int>();
    const double sign = tune["proposal"]["subPolarity"] == "inverted" ? -1.0 : 1.0;
    const std::vector<Complex> tops = TopsSum(m);
    std::vector<Complex> sub, sum;
    for (std::size_t i = 0; i < m.sub.hz.size(); ++i) {
        const double turn = -2.0 * std::numbers::pi * m.sub.hz[i] * relative * 1e-4;
        sub.push_back(m.sub.response[i] * sign * std::pow(10.0, changeDb / 20.0) * std::polar(1.0, turn));
        sum.push_back(tops[i] + sub.back());
    }
    return best.chosen.meanDb - SumOver(region, m.sub.hz, tops, sub, sum).meanDb;
}

// Without --apply: the crossover region where the room's tops and Sub
// cross, the alignment as good as the room's best there (the Sub behind,
// and ahead with its wiring reversed), the unit read back exactly as it was.
TEST(TuneCommand, ProposesTheRoomsBestAlignmentAndChangesNothing)
{
    for (const char* name : {"sub-behind", "sub-ahead-reversed"}) {
        SCOPED_TRACE(name);
        EmulatorProcess emulator({"--audio", "--room", Room(name)});
        ASSERT_FALSE(emulator.device().empty());
        const json before = Dump(emulator.device());
        const json tune = Tune(emulator.device(), {});
        ASSERT_FALSE(tune.is_null());
        EXPECT_EQ(Dump(emulator.device()), before);
        EXPECT_EQ(tune["applied"], false);
        EXPECT_TRUE(tune["verify"].is_null());
        // Where they cross once the Sub's level is matched: with the Sub far
        // below the tops, found before, it lay an octave low, where the sum
        // hardly depends on the delay and any delay passes below. (Where they
        // play alike over an octave, as ahead-reversed, the crossing is
        // loosely defined.)
        if (std::string(name) == "sub-behind") {
            EXPECT_NEAR(OctavesFromTheTruthsCrossing(Room(name), tune), 0.0, 0.5)
                << tune["predicted"]["region"] << tune["proposal"]["levels"]["sub"];
        }
        const double shortDb = ShortOfTheTruthsBestDb(Room(name), tune);
        // The truth's best weighs smoothness too, so a proposal may sum a
        // little louder on its mean; far louder would be a fault of the check.
        EXPECT_GT(shortDb, -0.3);
        EXPECT_LT(shortDb, 0.3) << tune["proposal"]["delay"] << tune["proposal"]["subPolarity"]
                                << tune["predicted"]["region"];
    }
}

// With --apply in the built-in room: the unit holds the proposal, and the
// measurement after comes nearer the target than before.
TEST(TuneCommand, AppliesTheProposalAndTheVerificationImproves)
{
    EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    const json tune = Tune(emulator.device(), {"--apply"});
    ASSERT_FALSE(tune.is_null());
    EXPECT_EQ(tune["applied"], true);
    const json& p = tune["proposal"];
    const json after = Dump(emulator.device())["settings"];
    EXPECT_EQ(after["sub"]["gain"], p["levels"]["sub"]["gain"]);
    // A second pass judges the alignment again with its bands: the last pass's is the unit's.
    const json& applied = tune["passes"].back()["applied"];
    EXPECT_EQ(after[applied["delay"]["channel"].get<std::string>()]["delay"], applied["delay"]["steps"]);
    if (tune["passes"].size() == 1) {
        EXPECT_EQ(applied["delay"], p["delay"]);
        EXPECT_EQ(after["lr"]["peq"], p["peq"]["lr"]["peq"]);
    }
    EXPECT_LE(tune["passes"].size(), 2u);
    // One position: nothing of several in the document.
    EXPECT_FALSE(tune.contains("measured") || tune.contains("positions") || tune["verify"].contains("positions"));
    for (const json& output : tune["passes"][0]["outputs"])
        if (output["output"] != "system") {
            EXPECT_LT(output["rmsAfterDb"].get<double>(), output["rmsBeforeDb"].get<double>()) << output;
        }
}

// A Sub too far and too quiet for the unit: the proposal says what it
// cannot reach.
TEST(TuneCommand, SaysWhatTheUnitCannotReach)
{
    EmulatorProcess emulator({"--audio", "--room", Room("sub-far")});
    ASSERT_FALSE(emulator.device().empty());
    for (const std::vector<std::string>& set : {std::vector<std::string>{"lr", "hpf", "24dB-link-riley", "90Hz"},
                                                {"lr", "xoverOn", "on"},
                                                {"sub", "lpf", "24dB-link-riley", "90Hz"}}) {
        std::vector<std::string> args{"--port", emulator.device(), "set"};
        args.insert(args.end(), set.begin(), set.end());
        ASSERT_EQ(RunCli(args).exitCode, 0);
    }
    const json tune = Tune(emulator.device(), {"--max-rise", "4"});
    ASSERT_FALSE(tune.is_null());
    const std::string shortfalls = tune["shortfalls"].dump();
    EXPECT_NE(shortfalls.find("below its match: the limit on a rise (4.0 dB) stops it"), std::string::npos)
        << shortfalls;
    EXPECT_NE(shortfalls.find("more than the unit's 12.5 ms of delay make up"), std::string::npos) << shortfalls;
    EXPECT_EQ(tune["proposal"]["levels"]["sub"]["changeDb"], 4.0);
}

// Whether the program has ended (it stays a zombie until FinishCli reaps it).
bool Ended(const CliProcess& process)
{
    const std::string stat = ReadText("/proc/" + std::to_string(process.pid) + "/stat");
    const std::size_t name = stat.rfind(')');
    return name == std::string::npos || stat.at(name + 2) == 'Z';
}

// The person: at every prompt to move, the emulator's microphone is taken
// to the position asked for (a signal moves it on to the next of its four),
// then Enter; a position said not to be ok (a dropout on a loaded machine)
// is measured again where it is. Until the command ends; the positions
// asked for, in order.
std::vector<int> FollowThePrompts(const CliProcess& tuning, const EmulatorProcess& emulator)
{
    const std::string move = "Move the microphone to position ", keep = "Press Enter to keep";
    std::vector<int> asked;
    int at = 1;
    bool notOk = false;
    std::size_t read = 0;  // how much of its standard error has been followed
    for (const auto until = std::chrono::steady_clock::now() + 480s; std::chrono::steady_clock::now() < until;) {
        const std::string err = ReadText(tuning.errPath);
        const std::size_t end = err.find('\n', read);
        if (end == std::string::npos) {
            if (Ended(tuning)) break;
            std::this_thread::sleep_for(100ms);
            continue;
        }
        const std::string line = err.substr(read, end - read);
        read = end + 1;
        if (line.find("is not ok") != std::string::npos) notOk = true;
        if (line.rfind(move, 0) != 0 && line.rfind(keep, 0) != 0) continue;
        if (std::exchange(notOk, false)) {
            WriteInput(tuning, "again\n");
            continue;
        }
        if (line.rfind(keep, 0) == 0) {
            WriteInput(tuning, "\n");
            continue;
        }
        asked.push_back(std::stoi(line.substr(move.size())));
        for (; at != asked.back(); at = at % 4 + 1) {
            ::kill(emulator.pid(), SIGUSR1);
            std::this_thread::sleep_for(100ms);
        }
        std::this_thread::sleep_for(200ms);  // a few audio blocks: the move is heard
        WriteInput(tuning, "\n");
    }
    return asked;
}

// Four positions with --apply in the built-in room, whose fourth seat alone
// has a mode: every position measured before and after (the person asked
// back to the first before the change is sent), the unit holding the
// proposal, each position and the average verified, none made worse.
TEST(TuneCommand, FourPositionsAppliedAndVerifiedAtEach)
{
    Emulator emulator({"--audio"});
    CliProcess tuning = StartCliWithInput(
        {"--port", emulator.device(), "tune", "--length", "1", "--positions", "4", "--apply", "--json"});
    const std::vector<int> asked = FollowThePrompts(tuning, emulator);
    const CliRun run = FinishCli(tuning);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json tune = json::parse(run.out);
    const std::size_t passes = tune["passes"].size();
    ASSERT_TRUE(passes == 1 || passes == 2) << passes;
    std::vector<int> expected{2, 3, 4};
    for (std::size_t pass = 0; pass < passes; ++pass) expected.insert(expected.end(), {1, 2, 3, 4});
    EXPECT_EQ(asked, expected);

    EXPECT_EQ(tune["measured"]["positions"], 4);
    EXPECT_EQ(tune["positions"].size(), 4u);  // each position's sum as proposed
    const json& p = tune["proposal"];
    const json after = Dump(emulator.device())["settings"];
    EXPECT_EQ(after["sub"]["gain"], p["levels"]["sub"]["gain"]);
    const json& applied = tune["passes"].back()["applied"];
    EXPECT_EQ(after[applied["delay"]["channel"].get<std::string>()]["delay"], applied["delay"]["steps"]);
    if (passes == 1) {
        EXPECT_EQ(applied["delay"], p["delay"]);
        EXPECT_EQ(after["lr"]["peq"], p["peq"]["lr"]["peq"]);
    }
    const json& first = tune["passes"][0];
    ASSERT_EQ(first["positions"].size(), 4u);
    EXPECT_EQ(first["worse"], json::array());
    for (std::size_t k = 0; k < 4; ++k) {
        // Before the first pass, after the last: no seat made worse over the whole pass.
        const double before = first["positions"][k]["rmsBeforeDb"];
        const double last = tune["verify"]["positions"][k]["rmsAfterDb"];
        EXPECT_LE(last, before + 1.0) << "position " << k + 1;
    }
    // The spatial average's own figures beside the positions'.
    EXPECT_TRUE(std::isfinite(first["average"]["rmsBeforeDb"].get<double>())) << first["average"];
    EXPECT_TRUE(std::isfinite(tune["verify"]["average"]["rmsAfterDb"].get<double>())) << tune["verify"]["average"];
}

// The end of the input while the person is asked back to the first position
// before the change: nothing was sent, and the mutes are as they were while
// waiting (the Sub muted again).
TEST(TuneCommand, ACancelBeforeTheVerifyingRoundChangesNothing)
{
    const std::string state = TempPath("tune-positions-state");
    Emulator emulator({"--audio", "--state", state});
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "mute", "on"}).exitCode, 0);
    const json before = Dump(emulator.device());
    const std::string settingBefore = ReadText(state);
    CliProcess tuning =
        StartCliWithInput({"--port", emulator.device(), "tune", "--length", "1", "--positions", "2", "--apply"});
    ASSERT_TRUE(WaitForErr(tuning, "Move the microphone to position 2 of 2", 1, 60)) << ReadText(tuning.errPath);
    ::kill(emulator.pid(), SIGUSR1);
    WriteInput(tuning, "\n");
    ASSERT_TRUE(WaitForErr(tuning, "Move the microphone to position 1 of 2", 1, 90)) << ReadText(tuning.errPath);
    EXPECT_EQ(ReadText(state), settingBefore);
    CloseInput(tuning);
    const CliRun cancel = FinishCli(tuning);
    EXPECT_EQ(cancel.exitCode, 4);
    EXPECT_NE(cancel.err.find("The tuning was cancelled: nothing was changed."), std::string::npos) << cancel.err;
    EXPECT_EQ(cancel.out, "");
    EXPECT_EQ(Dump(emulator.device()), before);
}

}  // namespace
