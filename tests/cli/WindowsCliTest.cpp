// The Windows quenbar-cli.exe under Wine against the emulated unit, beside
// this build's quenbar-cli: for each command both start from the same unit
// and must end with the same exit code and the same printed bytes, send
// the unit the same bytes, leave it in the same state and write the same
// file. The unit hangs on a pseudo-terminal that the Wine session's COM5
// stands for (scripts/wine-session.sh), or behind Debian's ser2net on
// 127.0.0.1, raw or with Telnet COM-port control, named by its address.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <optional>

#include "emulator/Emulator.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"
#include "tests/support/Ser2netRig.h"

namespace {

// Placeholders in a case's arguments: the file the command writes (holding
// other bytes before each run, so that a save must replace a file) and the
// file it reads. Both runs are given the same paths.
const std::string kWrittenFile = "<written>";
const std::string kReadFile = "<read>";

// Messages name the device a run opened, the emulator's pseudo-terminal on
// Linux and \\.\COM5 on Windows; both stand as this in the compared output.
const std::string kPortInOutput = "<port>";

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

// How a run reaches the unit.
enum class Route { Device, Com5, Ser2netRaw, Ser2netComPort };

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
    Outcome Run(std::vector<std::string> program, Route route)
    {
        const ParityCase& c = GetParam();
        Rx74Emulator unit(c.faults);
        Prepare(unit);
        EXPECT_TRUE(unit.Start());
        const std::string written = TempPath(std::string(c.name) + ".cmf");
        WriteBytes(written, {'o', 'l', 'd'});
        std::optional<Ser2netRig> ser2net;
        if (route == Route::Ser2netRaw || route == Route::Ser2netComPort) {
            ser2net.emplace(unit.DevicePath());
            EXPECT_TRUE(ser2net->Start()) << ser2net->Problem();
        }
        if (route == Route::Com5) PointCom5At(unit.DevicePath());
        const std::string opened = route == Route::Com5          ? "\\\\.\\COM5"
                                   : route == Route::Ser2netRaw     ? ser2net->RawAddress()
                                   : route == Route::Ser2netComPort ? ser2net->ComPortAddress()
                                                                    : unit.DevicePath();
        program.push_back(route == Route::Com5 ? "COM5" : opened);
        for (const std::string& arg : c.args)
            program.push_back(arg == kWrittenFile ? written : arg == kReadFile ? ReadFilePath() : arg);

        Outcome outcome;
        outcome.run = RunProgram(program);
        ReplaceAll(outcome.run.out, opened, kPortInOutput);
        ReplaceAll(outcome.run.err, opened, kPortInOutput);
        outcome.received = unit.ReceivedBytes();
        const std::string state = TempPath("unit.state");
        EXPECT_TRUE(unit.SaveState(state));
        outcome.unit = ReadBytes(state);
        outcome.written = ReadBytes(written);
        return outcome;
    }

    static void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
    {
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }

    static void PointCom5At(const std::string& device)
    {
        ::unlink(QUENBAR_WINE_COM5);
        ASSERT_EQ(::symlink(device.c_str(), QUENBAR_WINE_COM5), 0);
    }
};

void ExpectTheSame(const Outcome& windows, const Outcome& host)
{
    EXPECT_FALSE(host.received.empty());  // the command reached the unit
    EXPECT_EQ(windows.run.exitCode, host.run.exitCode) << windows.run.err;
    EXPECT_EQ(windows.run.out, host.run.out);
    EXPECT_EQ(windows.run.err, host.run.err);
    EXPECT_EQ(windows.received, host.received);
    EXPECT_EQ(windows.unit, host.unit);
    EXPECT_EQ(windows.written, host.written);
}

const std::vector<std::string> kWindowsCli = {QUENBAR_WINE_SESSION, QUENBAR_WINE_PREFIX, "run", QUENBAR_WINDOWS_CLI,
                                              "--port"};

TEST_P(WindowsCli, DoesWhatTheLinuxBuildDoes)
{
    ExpectTheSame(Run(kWindowsCli, Route::Com5), Run({QUENBAR_CLI_PATH, "--port"}, Route::Device));
}

// The Windows build's own sockets (Winsock) to a serial server, both kinds.
TEST_P(WindowsCli, DoesWhatTheLinuxBuildDoesThroughSer2net)
{
    for (const Route route : {Route::Ser2netRaw, Route::Ser2netComPort}) {
        SCOPED_TRACE(route == Route::Ser2netRaw ? "raw" : "COM-port control");
        ExpectTheSame(Run(kWindowsCli, route), Run({QUENBAR_CLI_PATH, "--port"}, route));
    }
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
