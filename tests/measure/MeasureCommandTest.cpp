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
    ASSERT_TRUE(WaitForErr(measuring, "measure: left: input peak"));  // in the tail of the first sweep
    emulator.Stop();
    const CliRun run = FinishCli(measuring);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("The unit did not acknowledge the mutes for sub"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("WARNING: the unit's mutes could not be restored: Left & Right should be unmuted, "
                           "Sub should be unmuted."),
              std::string::npos)
        << run.err;
    // The unit, back again, holds what the warning said: the Sub still muted.
    Emulator again({"--state", state});
    json after = Dump(again.device());
    EXPECT_EQ(after["values"]["sub"]["mute"], true);
    after["values"]["sub"]["mute"] = false;
    after["settings"]["sub"]["mute"] = 0;
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
