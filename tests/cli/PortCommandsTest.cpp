// ports, probe and --trace as users run them, against emulated units; and
// a second program on a port that one already holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "emulator/Emulator.h"
#include "link/Link.h"
#include "model/Model.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/HeldPort.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Ser2netRig.h"

namespace {

using nlohmann::json;

// True when the parts appear in `text` in this order.
bool InOrder(const std::string& text, const std::vector<std::string>& parts)
{
    std::size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos) return false;
        at += part.size();
    }
    return true;
}

const std::string kHeldByThisProcess =
    "held by another program.\nIt is in use by process " + std::to_string(::getpid());

TEST(CliPorts, ProbeFindsTheUnitAndReportsEveryOtherDevice)
{
    Rx74Emulator unit, silent({.silent = true}), held;
    ASSERT_TRUE(unit.Start() && silent.Start() && held.Start());
    HeldPort other(held.DevicePath());
    ASSERT_TRUE(other.Ok());

    const CliRun run = RunCli({"probe", silent.DevicePath(), unit.DevicePath(), held.DevicePath()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(InOrder(run.out, {silent.DevicePath() + ": no unit: no answer to the attention byte",
                                  unit.DevicePath() + ": unit answered: \"RX7.4 EMULATOR\" (",
                                  held.DevicePath() +
                                      ": busy, not opened: held by another program. It is in use by "
                                      "process " +
                                      std::to_string(::getpid()),
                                  "3 devices probed in "}))
        << run.out;
    EXPECT_TRUE(held.ReceivedBytes().empty());

    const CliRun none = RunCli({"probe", silent.DevicePath()});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.err, "No unit answered.\n");
}

TEST(CliPorts, ProbeTakesNetworkSerialServersBesideDevices)
{
    Rx74Emulator local, remote;
    ASSERT_TRUE(local.Start() && remote.Start());
    Ser2netRig ser2net(remote.DevicePath());
    ASSERT_TRUE(ser2net.Start()) << ser2net.Problem();
    std::string nobody;
    {
        LoopbackServer closed;
        nobody = closed.Address("tcp");
    }

    const CliRun run = RunCli({"probe", local.DevicePath(), ser2net.ComPortAddress(), nobody});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(InOrder(run.out, {local.DevicePath() + ": unit answered: \"RX7.4 EMULATOR\" (",
                                  ser2net.ComPortAddress() + ": unit answered: \"RX7.4 EMULATOR\" (",
                                  nobody + ": not opened: the server refused the connection", "3 devices probed in "}))
        << run.out;
}

TEST(CliPorts, PortsShowsTheDeviceAComVariableNames)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    // The highest number a port can have.
    ::setenv("QUENBAR_COM256", unit.DevicePath().c_str(), 1);
    const CliRun text = RunCli({"ports"});
    const CliRun asJson = RunCli({"ports", "--json"});
    ::unsetenv("QUENBAR_COM256");

    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find(unit.DevicePath() + "  COM256 (QUENBAR_COM256)\n"), std::string::npos) << text.out;
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    const json ports = json::parse(asJson.out);
    const auto entry = std::find_if(ports.begin(), ports.end(),
                                    [&unit](const json& port) { return port["device"] == unit.DevicePath(); });
    ASSERT_NE(entry, ports.end()) << asJson.out;
    EXPECT_EQ((*entry)["com"], json::parse(R"([{"port": "COM256", "variable": "QUENBAR_COM256"}])"));
}

TEST(CliPorts, ASecondProgramOnAHeldPortIsRefusedAndTheUnitSeesNothingOfIt)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    HeldPort other(unit.DevicePath());
    ASSERT_TRUE(other.Ok());
    const CliRun run = RunCli({"--port", unit.DevicePath(), "dump"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("RS232 Connection failed.\n" + unit.DevicePath() + ": " + kHeldByThisProcess, 0), 0u)
        << run.err;
    EXPECT_TRUE(unit.ReceivedBytes().empty());
}

TEST(CliPorts, TraceOfADumpShowsEveryFrameOfTheConnectSequenceDecoded)
{
    Rx74Emulator unit;
    ASSERT_TRUE(unit.Start());
    const CliRun run = RunCli({"--trace", "--port", unit.DevicePath(), "dump"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected{"--  opened " + unit.DevicePath(),
                                      "->  attention  [FA]",
                                      "<-  attention acknowledged  [50]",
                                      "->  connect  [56 4E 42 31 30 02 C9 00 C9 53]",
                                      "<-  connect answer, ",
                                      "connection accepted by \"RX7.4 EMULATOR\""};
    for (int slot = 1; slot <= 6; ++slot) {
        expected.push_back("->  read the name of memory " + std::to_string(slot));
        expected.push_back(": memory " + std::to_string(slot) + " 'Preset " + std::to_string(slot) + "'");
    }
    for (const char* line : {"->  read the current setting", ": the current setting", "->  disconnect",
                             "<-  acknowledgement  [51]", "--  closed"})
        expected.push_back(line);
    EXPECT_TRUE(InOrder(run.err, expected)) << run.err;
}

}  // namespace
