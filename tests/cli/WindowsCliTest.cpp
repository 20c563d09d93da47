// The Windows quenbar-cli.exe under Wine against the emulated unit, beside
// this build's quenbar-cli: for each command both start from the same unit
// and must end with the same exit code and the same printed bytes, send
// the unit the same bytes, leave it in the same state and write the same
// file. The unit hangs on a pseudo-terminal that the Wine session's COM5
// stands for (scripts/wine-session.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>

#include "emulator/Emulator.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"

namespace {

// Placeholders in a case's arguments: the file the command writes (one per
// run, holding other bytes beforehand, so that a save must replace a file)
// and the file it reads (the same for both runs).
const std::string kWrittenFile = "<written>";
const std::string kReadFile = "<read>";

struct Outcome {
    CliRun run;
    std::vector<std::uint8_t> received;  // what the unit received
    std::vector<unsigned char> unit;     // its memories, current setting and logo afterwards
    std::vector<unsigned char> written;  // the written file afterwards
};

struct ParityCase {
    const char* name;
    std::vector<std::string> args;
    EmulatorFaults faults = {};
};

void PrintTo(const ParityCase& c, std::ostream* out) { *out << c.name; }

// Six memories that differ in name and setting, the fifth empty, and a
// current setting of its own: a slot or field mixed up shows.
void Prepare(Rx74Emulator& unit)
{
    const std::array<std::string, 6> names = {"Kick", "Band", "", "Speech", "Old show", "Live"};
    for (int slot = 1; slot <= 6; ++slot) {
        EmulatedMemory memory;
        memory.used = slot != 5;
        memory.name = names[slot - 1] + std::string(16 - names[slot - 1].size(), ' ');
        memory.image = DefaultImage();
        memory.image[1] = static_cast<std::uint8_t>(20 * slot);  // Left&Right gain
        memory.image[31 + 7] = static_cast<std::uint8_t>(slot);  // Sub low-pass type
        unit.SetMemory(slot, memory);
    }
    ImageBytes current = DefaultImage();
    current[1] = 100;
    current[31 + 20] = 30;  // Sub band 1 bandwidth byte
    unit.SetCurrentImage(current);
}

std::string ReadFilePath()
{
    static const std::string path = [] {
        std::array<RecordBytes, 6> records;
        records[0].name = "From file";
        records[0].image[1] = 33;
        records[3].used = 0;
        const std::string file = TempPath("read.cmf");
        WriteBytes(file, MemoryFileBytes(records));
        return file;
    }();
    return path;
}

class WindowsCli : public ::testing::TestWithParam<ParityCase> {
protected:
    // Runs the command of the case with `program` (the port name is
    // appended) against a freshly prepared unit.
    Outcome Run(const std::string& runName, std::vector<std::string> program, bool throughCom5)
    {
        const ParityCase& c = GetParam();
        Rx74Emulator unit(c.faults);
        Prepare(unit);
        EXPECT_TRUE(unit.Start());
        const std::string written = TempPath(std::string(c.name) + "-" + runName + ".cmf");
        WriteBytes(written, {'o', 'l', 'd'});
        if (throughCom5) PointCom5At(unit.DevicePath());
        program.push_back(throughCom5 ? "COM5" : unit.DevicePath());
        for (const std::string& arg : c.args)
            program.push_back(arg == kWrittenFile ? written : arg == kReadFile ? ReadFilePath() : arg);

        Outcome outcome;
        outcome.run = RunProgram(program);
        outcome.received = unit.ReceivedBytes();
        const std::string state = TempPath("unit.state");
        EXPECT_TRUE(unit.SaveState(state));
        outcome.unit = ReadBytes(state);
        outcome.written = ReadBytes(written);
        return outcome;
    }

    static void PointCom5At(const std::string& device)
    {
        ::unlink(QUENBAR_WINE_COM5);
        ASSERT_EQ(::symlink(device.c_str(), QUENBAR_WINE_COM5), 0);
    }
};

TEST_P(WindowsCli, DoesWhatTheLinuxBuildDoes)
{
    const Outcome host = Run("host", {QUENBAR_CLI_PATH, "--port"}, false);
    const Outcome windows =
        Run("windows", {QUENBAR_WINE_SESSION, QUENBAR_WINE_PREFIX, "run", QUENBAR_WINDOWS_CLI, "--port"}, true);
    EXPECT_FALSE(host.received.empty());  // the command reached the unit
    EXPECT_EQ(windows.run.exitCode, host.run.exitCode) << windows.run.err;
    EXPECT_EQ(windows.run.out, host.run.out);
    EXPECT_EQ(windows.run.err, host.run.err);
    EXPECT_EQ(windows.received, host.received);
    EXPECT_EQ(windows.unit, host.unit);
    EXPECT_EQ(windows.written, host.written);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, WindowsCli,
    ::testing::Values(ParityCase{"Dump", {"dump"}}, ParityCase{"SetClamped", {"set", "lr", "gain", "300"}},
                      ParityCase{"SetPeqShelf", {"set", "lr", "peq", "1", "loShelf", "1"}},
                      ParityCase{"Store", {"store", "4", "Live  "}}, ParityCase{"Recall", {"recall", "2"}},
                      ParityCase{"Delete", {"delete", "3"}}, ParityCase{"SaveOverAFile", {"save", kWrittenFile}},
                      ParityCase{"Load", {"load", kReadFile}},
                      ParityCase{"SilentUnit", {"dump"}, EmulatorFaults{.silent = true}},
                      ParityCase{"WrongHandshake", {"dump"}, EmulatorFaults{.wrongConnectReply = true}}),
    [](const ::testing::TestParamInfo<ParityCase>& info) { return std::string(info.param.name); });

}  // namespace
