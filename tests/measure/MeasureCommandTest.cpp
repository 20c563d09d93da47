// quenbar-cli measure against rx74-emulator --audio: the built-in room
// through a private PulseAudio server of its own.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/cli/ScratchDirectory.h"
#include "tests/emulator/Programs.h"
#include "tests/measure/MeasureChecks.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> MeasureArgs(const std::string& device, std::vector<std::string> more)
{
    std::vector<std::string> args{"--port", device, "measure", "--length", "1"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(MeasureCommand, FourOutputsMatchTheRoomAndTheUnitIsLeftAsItWas)
{
    Emulator emulator({"--audio"});
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "mute", "on"}).exitCode, 0);
    const json before = Dump(emulator.device());
    const json truth = RoomTruth();
    const ScratchDirectory folder("measure");
    const CliRun run = RunCli(MeasureArgs(emulator.device(), {"--outputs", "left,right,sub,system", "--json", "--out",
                                                              folder.Path().string()}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Dump(emulator.device()), before);  // the Sub muted again, nothing else changed
    const json measured = json::parse(run.out);
    EXPECT_EQ(measured["rate"], 48000);
    ASSERT_EQ(measured["outputs"].size(), 4u);
    for (const json& output : measured["outputs"]) EXPECT_EQ(output["verdict"], "ok") << output["output"];
    EXPECT_EQ(FiguresMissed(measured, truth), "");

    // The files: the response as eq fit reads it, the impulse response, the summary.
    const std::string left = (folder.Path() / "left.txt").string();
    const CliRun fit = RunCli({"eq", "fit", left, "lr", "--json"});
    EXPECT_EQ(fit.exitCode, 0) << fit.err;
    EXPECT_EQ(ReadText((folder.Path() / "sub-impulse.wav").string()).substr(0, 4), "RIFF");
    const json summary = json::parse(ReadText((folder.Path() / "summary.json").string()));
    EXPECT_EQ(summary["outputs"].size(), 4u);
    EXPECT_EQ(summary["recordDevice"], "Monitor of Quenbar_microphone");
}

// One position of `measure --positions --json` as a measurement of its own:
// the outputs with their arrival and level, on the average's points.
json PositionOf(const json& measured, std::size_t index)
{
    json outputs = json::array();
    for (const json& output : measured["outputs"])
        outputs.push_back({{"output", output["output"]},
                           {"arrivalMs", output["positions"][index]["arrivalMs"]},
                           {"hz", output["hz"]},
                           {"db", output["positions"][index]["db"]}});
    return {{"outputs", outputs}};
}

double LevelAt(const json& output, const json& db, double hz)
{
    std::size_t i = 0;
    while (output["hz"][i].get<double>() < hz) ++i;
    return db[i];
}

// The person walks: the emulator's microphone moved on, then Enter.
void MoveTo(const CliProcess& measuring, const EmulatorProcess& emulator, int position, int count)
{
    const std::string prompt = "Move the microphone to position " + std::to_string(position) + " of " +
                               std::to_string(count);
    ASSERT_TRUE(WaitForErr(measuring, prompt)) << ReadText(measuring.errPath);
    ::kill(emulator.pid(), SIGUSR1);
    std::this_thread::sleep_for(200ms);  // a few audio blocks: the move is heard
    WriteInput(measuring, "\n");
}

TEST(MeasureCommand, FourPositionsEachMatchTheirOwnTruthAndAverage)
{
    Emulator emulator({"--audio"});
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "mute", "on"}).exitCode, 0);
    const json before = Dump(emulator.device());
    const CliRun truthRun = RunProgram({RX74_EMULATOR_PROGRAM, "--room-truth"});
    ASSERT_EQ(truthRun.exitCode, 0);
    const json truth = json::parse(truthRun.out)["positions"];
    ASSERT_EQ(truth.size(), 4u);
    const ScratchDirectory folder("positions");
    CliProcess measuring = StartCliWithInput(MeasureArgs(
        emulator.device(), {"--outputs", "left,right,sub", "--positions", "4", "--json", "--out", folder.Path().string()}));
    for (int k = 2; k <= 4; ++k) MoveTo(measuring, emulator, k, 4);
    const CliRun run = FinishCli(measuring);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("Move the microphone to position 1"), std::string::npos) << "not before the first";
    EXPECT_EQ(Dump(emulator.device()), before);

    const json measured = json::parse(run.out);
    EXPECT_EQ(measured["positions"], 4);
    ASSERT_EQ(measured["outputs"].size(), 3u);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(FiguresMissed(PositionOf(measured, k), truth[k]["outputs"]), "") << "position " << k + 1;
        for (const json& output : measured["outputs"])
            EXPECT_EQ(output["positions"][k]["verdict"], "ok") << output["output"] << " at " << k + 1;
    }
    // The 160 Hz mode of the fourth seat shows there alone, and in the spread.
    const json& left = Output(measured, "left");
    const double fourth = LevelAt(left, left["positions"][3]["db"], 160.0);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_GT(fourth - LevelAt(left, left["positions"][k]["db"], 160.0), 6.0) << k;
    EXPECT_GT(LevelAt(left, left["spreadDb"], 160.0), 6.0);
    EXPECT_LT(LevelAt(left, left["spreadDb"], 2000.0), 4.0) << "the tops' own region: the distances alone";
    EXPECT_EQ(left["verdict"], "ok");

    // Each position in a folder of its own, the average as eq fit reads it.
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "position-4" / "sub-impulse.wav"));
    const CliRun fit = RunCli({"eq", "fit", (folder.Path() / "left.txt").string(), "lr", "--json"});
    EXPECT_EQ(fit.exitCode, 0) << fit.err;
}

// While the person walks, the unit is as they left it; the end of the input
// cancels, and a position measured again replaces itself alone.
TEST(MeasureCommand, BetweenPositionsTheMutesAreBackAndAPositionCanBeMeasuredAgain)
{
    // The emulator keeps its setting in the state file at every change: the
    // unit as it is while the command holds the port.
    const std::string state = TempPath("positions-state");
    Emulator emulator({"--audio", "--state", state});
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "mute", "on"}).exitCode, 0);
    const json before = Dump(emulator.device());
    const std::string settingBefore = ReadText(state);
    CliProcess cancelled = StartCliWithInput(MeasureArgs(emulator.device(), {"--outputs", "sub,left", "--positions", "2"}));
    ASSERT_TRUE(WaitForErr(cancelled, "measure: sub: sweep"));
    EXPECT_NE(ReadText(state), settingBefore) << "the Sub unmuted for its sweep";
    ASSERT_TRUE(WaitForErr(cancelled, "Move the microphone to position 2 of 2"));
    EXPECT_EQ(ReadText(state), settingBefore);  // while waiting
    CloseInput(cancelled);
    const CliRun cancel = FinishCli(cancelled);
    EXPECT_EQ(cancel.exitCode, 4);
    EXPECT_NE(cancel.err.find("The measurement was cancelled."), std::string::npos) << cancel.err;
    EXPECT_EQ(cancel.out, "");
    EXPECT_EQ(Dump(emulator.device()), before);

    // Position 1 measured at the first seat, then again at the fourth;
    // position 2 at the second.
    const CliRun truthRun = RunProgram({RX74_EMULATOR_PROGRAM, "--room-truth"});
    const json truth = json::parse(truthRun.out)["positions"];
    CliProcess measuring = StartCliWithInput(MeasureArgs(emulator.device(), {"--outputs", "left", "--positions", "2", "--json"}));
    const std::string prompt = "Move the microphone to position 2 of 2";
    ASSERT_TRUE(WaitForErr(measuring, prompt));
    for (int i = 0; i < 3; ++i) ::kill(emulator.pid(), SIGUSR1), std::this_thread::sleep_for(100ms);
    WriteInput(measuring, "again\n");
    ASSERT_TRUE(WaitForErr(measuring, prompt, 2));
    for (int i = 0; i < 2; ++i) ::kill(emulator.pid(), SIGUSR1), std::this_thread::sleep_for(100ms);
    WriteInput(measuring, "\n");
    const CliRun run = FinishCli(measuring);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json measured = json::parse(run.out);
    ASSERT_EQ(measured["outputs"][0]["positions"].size(), 2u);
    const json& left = measured["outputs"][0];
    EXPECT_GT(LevelAt(left, left["positions"][0]["db"], 160.0) - LevelAt(left, left["positions"][1]["db"], 160.0), 6.0)
        << "position 1 is the fourth seat's";
    for (const auto& [index, seat] : {std::pair{0, 3}, {1, 1}}) {
        json only = PositionOf(measured, index);
        EXPECT_LE(LargestDeviationDb(only["outputs"][0], truth[seat]["outputs"]["left"], 200.0), 1.0) << index;
    }
    EXPECT_EQ(Dump(emulator.device()), before);
}

// A hall that rings for 1.5 s: each sweep's tail follows the ringing, so the
// next output's silence holds the room's noise, not the last one's sound.
TEST(MeasureCommand, AReverberantRoomMeasuresOkWithinADecibelOfItsTruth)
{
    const std::string room = std::string(QUENBAR_ROOMS) + "/reverberant.json";
    Emulator emulator({"--audio", "--room", room});
    const json truth = RoomTruth({"--room", room});
    const CliRun run = RunCli(MeasureArgs(emulator.device(), {"--outputs", "left,right,sub,system", "--json"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json measured = json::parse(run.out);
    for (const json& output : measured["outputs"]) {
        EXPECT_EQ(output["verdict"], "ok") << output["output"];
        // The room's -80 dBFS of noise under a -20 dBFS sweep, as in a dry
        // room: a fixed tail of 0.15 s leaves the ringing some 30 dB down in
        // the next silence.
        EXPECT_GT(output["snrDb"].get<double>(), 40.0) << output["output"];
    }
    for (const auto& [name, rangeDb] : {std::pair{"left", 200.0}, {"right", 200.0}, {"sub", 30.0}})
        EXPECT_LE(LargestDeviationDb(Output(measured, name), truth[name], rangeDb, 6), 1.0) << name;
}

TEST(MeasureCommand, AMicrophoneThatHearsNothingIsNoSignalNamingTheDevice)
{
    Emulator emulator({});  // a unit, but no sound through it
    const json before = Dump(emulator.device());
    const CliRun run = RunCli(MeasureArgs(emulator.device(), {"--outputs", "left,sub"}));
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("left: no signal (peak"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("at the microphone on \"Monitor of Quenbar_microphone\""), std::string::npos);
    EXPECT_EQ(Dump(emulator.device()), before);
}

TEST(MeasureCommand, ALoudLevelIsRefusedWithoutLoudAndClipsWithIt)
{
    Emulator emulator({"--audio"});
    // +6 dB on both channels: the whole system at full scale overdrives the microphone's converter.
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "lr", "gain", "6dB"}).exitCode, 0);
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "gain", "6dB"}).exitCode, 0);
    const json before = Dump(emulator.device());
    const CliRun refused = RunCli(MeasureArgs(emulator.device(), {"--level", "-3"}));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--level: The sweep's level is -60 to -6 dBFS"), std::string::npos) << refused.err;
    const CliRun tooLong = RunCli({"measure", "--no-unit", "--length", "45"});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_NE(tooLong.err.find("--length: The sweep's length is 0.5 to 10 s: 45 is not."), std::string::npos)
        << tooLong.err;
    const CliRun tooMany = RunCli({"measure", "--no-unit", "--positions", "9"});
    EXPECT_EQ(tooMany.exitCode, 2);
    EXPECT_NE(tooMany.err.find("--positions: The number of positions is 1 to 8: 9 is not."), std::string::npos)
        << tooMany.err;
    const CliRun loud = RunCli(MeasureArgs(emulator.device(), {"--outputs", "system", "--level", "0", "--loud"}));
    EXPECT_EQ(loud.exitCode, 4);
    EXPECT_NE(loud.err.find("system: clipped"), std::string::npos) << loud.err;
    EXPECT_EQ(Dump(emulator.device()), before);
}

TEST(MeasureCommand, NoSuchDeviceOrNoUnitIsAClearError)
{
    Emulator emulator({"--audio"});
    const json before = Dump(emulator.device());
    const CliRun run = RunCli(MeasureArgs(emulator.device(), {"--record", "Studio Mic"}));
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("There is no sound device \"Studio Mic\""), std::string::npos) << run.err;
    EXPECT_EQ(Dump(emulator.device()), before);
    const CliRun noPort = RunCli({"measure"});
    EXPECT_EQ(noPort.exitCode, 2);
    EXPECT_NE(noPort.err.find("--no-unit"), std::string::npos) << noPort.err;
}

TEST(MeasureCommand, CtrlCStopsTheSequenceAndPutsTheMutesBack)
{
    Emulator emulator({"--audio"});
    const json before = Dump(emulator.device());
    const CliProcess measuring = StartCli(MeasureArgs(emulator.device(), {"--outputs", "sub,left"}));
    ASSERT_TRUE(WaitForErr(measuring, "measure: sub: sweep"));
    ::kill(measuring.pid, SIGINT);
    const CliRun run = FinishCli(measuring);
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("The measurement was cancelled."), std::string::npos) << run.err;
    EXPECT_EQ(Dump(emulator.device()), before);  // Left & Right unmuted again
}

TEST(MeasureCommand, AUnitLostBetweenSweepsIsSaidWithTheMutesItWasLeftWith)
{
    const std::string state = TempPath("unit-state");
    Emulator emulator({"--audio", "--state", state});
    const json before = Dump(emulator.device());
    const CliProcess measuring = StartCli(MeasureArgs(emulator.device(), {"--outputs", "left,sub"}));
    ASSERT_TRUE(WaitForErr(measuring, "measure: sub: input peak"));  // in the tail of the first sweep
    emulator.Stop();
    const CliRun run = FinishCli(measuring);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("The unit did not acknowledge the mutes for left"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: the unit's mutes could not be restored: Left & Right should be unmuted."),
              std::string::npos)
        << run.err;
    // The unit, back again, holds what the warning said: Left & Right still
    // muted, as the Sub's sweep had them.
    Emulator again({"--state", state});
    json after = Dump(again.device());
    EXPECT_EQ(after["values"]["lr"]["mute"], true);
    after["values"]["lr"]["mute"] = false;
    after["settings"]["lr"]["mute"] = 0;
    EXPECT_EQ(after, before);  // and nothing else changed
}

// Takes the sound card's output sink away for as long as it lives; puts it
// back as scripts/pulse-session.sh made it, for the tests after it.
class VanishedOutput {
public:
    VanishedOutput()
    {
        const CliRun modules = RunProgram({"/usr/bin/pactl", "list", "short", "modules"});
        std::istringstream lines(modules.out);
        for (std::string line; std::getline(lines, line);)
            if (line.find("sink_name=quenbar_out ") != std::string::npos) module_ = line.substr(0, line.find('\t'));
        EXPECT_FALSE(module_.empty()) << modules.out;
        EXPECT_EQ(RunProgram({"/usr/bin/pactl", "unload-module", module_}).exitCode, 0);
    }
    ~VanishedOutput()
    {
        RunProgram({"/usr/bin/pactl", "load-module", "module-null-sink", "sink_name=quenbar_out", "rate=48000", "channels=2",
                    "sink_properties=device.description=Quenbar_output"});
        RunProgram({"/usr/bin/pactl", "set-default-sink", "quenbar_out"});
    }

private:
    std::string module_;
};

TEST(MeasureCommand, AnOutputDeviceThatGoesAwayInMidSweepStopsItWithTheMutesBack)
{
    Emulator emulator({"--audio"});
    const json before = Dump(emulator.device());
    const CliProcess measuring = StartCli(MeasureArgs(emulator.device(), {"--outputs", "left,sub"}));
    ASSERT_TRUE(WaitForErr(measuring, "measure: left: sweep"));
    CliRun run;
    {
        const VanishedOutput vanished;
        run = FinishCli(measuring);
    }
    EXPECT_EQ(run.exitCode, 4);
    // The server moved the stream to another sink and played on: never a result.
    EXPECT_NE(run.err.find("The sound device \"Quenbar_output\" went away during the left sweep"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Dump(emulator.device()), before);  // the Sub unmuted again
}

}  // namespace
