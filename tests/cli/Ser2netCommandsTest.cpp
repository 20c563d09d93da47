// The command line through Debian's ser2net in front of the emulated unit,
// raw and with COM-port control: the unit receives the same bytes and the
// commands give the same results as on the direct device; a server that
// dies mid-exchange, refuses the line settings or is not there fails as a
// local line does, naming the host, the port and the reason.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "emulator/Emulator.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Ser2netRig.h"

namespace {

using Payload = std::vector<std::uint8_t>;

// What one run of the commands gave, and what the unit received meanwhile.
struct Session {
    std::string dump;
    std::string setOut;
    std::vector<unsigned char> savedFile;
    std::string loadOut;
    std::vector<Payload> received;
};

EmulatedMemory Memory(const std::string& name)
{
    EmulatedMemory memory;
    memory.used = true;
    memory.name = name + std::string(16 - name.size(), ' ');
    memory.image = DefaultImage();
    return memory;
}

class CliThroughSer2net : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(unit_.Start());
        ser2net_ = std::make_unique<Ser2netRig>(unit_.DevicePath());
        ASSERT_TRUE(ser2net_->Start()) << ser2net_->Problem();
    }

    // dump, set, save and load on `port`, from the same unit state each time.
    Session RunCommands(const std::string& port)
    {
        for (int slot = 1; slot <= 6; ++slot) unit_.SetMemory(slot, Memory("Show " + std::to_string(slot)));
        unit_.SetCurrentImage(DefaultImage());
        unit_.ClearReceived();
        Session session;
        const std::string file = TempPath("memories.cmf");
        const CliRun dump = RunCli({"--port", port, "dump"});
        const CliRun set = RunCli({"--port", port, "set", "lr", "gain", "140"});
        const CliRun save = RunCli({"--port", port, "save", file});
        unit_.SetMemory(3, Memory("Changed"));
        const CliRun load = RunCli({"--port", port, "load", file});
        for (const CliRun* run : {&dump, &set, &save, &load}) EXPECT_EQ(run->exitCode, 0) << port << ": " << run->err;
        session.dump = dump.out;
        session.setOut = set.out;
        session.savedFile = ReadBytes(file);
        session.loadOut = load.out;
        session.received = unit_.ReceivedPayloads();
        return session;
    }

    Rx74Emulator unit_;
    std::unique_ptr<Ser2netRig> ser2net_;
};

TEST_F(CliThroughSer2net, DumpSetSaveAndLoadGiveTheSameBytesAndResultsAsTheDirectDevice)
{
    const Session direct = RunCommands(unit_.DevicePath());
    ASSERT_FALSE(direct.dump.empty());
    EXPECT_EQ(unit_.Memory(3).name, "Show 3          ");  // the load put the saved memory back
    for (const std::string& port : {ser2net_->RawAddress(), ser2net_->ComPortAddress()}) {
        // ser2net lets the device go a moment after its client left: a client of
        // its other port at once would find the device still taken (ser2net 4.3).
        ASSERT_TRUE(ser2net_->Start()) << ser2net_->Problem();
        const Session remote = RunCommands(port);
        EXPECT_EQ(remote.dump, direct.dump) << port;
        EXPECT_EQ(remote.setOut, direct.setOut) << port;
        EXPECT_EQ(remote.savedFile, direct.savedFile) << port;
        EXPECT_EQ(remote.loadOut, direct.loadOut) << port;
        EXPECT_EQ(remote.received, direct.received) << port;
    }
}

TEST_F(CliThroughSer2net, ServerKilledMidExchangeIsAHangUpAsOnALocalLine)
{
    for (const std::string& port : {ser2net_->RawAddress(), ser2net_->ComPortAddress()}) {
        ASSERT_TRUE(ser2net_->Start()) << ser2net_->Problem();
        unit_.ClearReceived();
        EmulatorFaults slow;
        slow.replyDelayMs = 150;  // time to kill the server while the unit holds its answer
        unit_.SetFaults(slow);
        const CliProcess dump = StartCli({"--port", port, "dump"});
        // The connect, the six names, then the current setting's read: the server dies under it.
        // (Under ThreadSanitizer on a busy machine 10 s have not been enough.)
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (unit_.ReceivedPayloads().size() < 8 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_GE(unit_.ReceivedPayloads().size(), 8u) << port << ": the exchange never reached the read";
        ser2net_->Kill();
        const CliRun run = FinishCli(dump);
        EXPECT_EQ(run.exitCode, 3) << port;
        EXPECT_EQ(run.err, "Read current value fail!.\n") << port;
        unit_.SetFaults({});
    }
}

TEST_F(CliThroughSer2net, ServersThatRefuseOrAreNotThereNameHostPortAndReason)
{
    // A server that acknowledges another speed than the one asked for.
    LoopbackServer refusing;
    std::thread server([&refusing] {
        if (!refusing.Accept()) return;
        refusing.Receive(9 + 7 + 38);  // the greeting, the purge, the five settings
        refusing.Send({255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240});
        refusing.Receive(1, 3000);  // until the program closes the connection
    });
    const std::string address = refusing.Address("rfc2217");
    const CliRun refused = RunCli({"--port", address, "dump"});
    server.join();
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.err, "RS232 Connection failed.\n" + address +
                               ": the server refused the line settings (57600 baud, 8 data bits, no parity, 1 stop "
                               "bit, no flow control) (the server set speed 9600 when asked for 57600).\nCheck that "
                               "a serial server runs on 127.0.0.1 and listens on port " +
                               address.substr(address.rfind(':') + 1) + ".\n");

    const std::string raw = ser2net_->RawAddress();
    ser2net_->Kill();
    const CliRun nobody = RunCli({"--port", raw, "dump"});
    EXPECT_EQ(nobody.exitCode, 3);
    EXPECT_EQ(nobody.err, "RS232 Connection failed.\n" + raw +
                              ": the server refused the connection: nothing listens on that port (Connection "
                              "refused).\nCheck that a serial server runs on 127.0.0.1 and listens on port " +
                              raw.substr(raw.rfind(':') + 1) + ".\n");
    EXPECT_TRUE(unit_.ReceivedBytes().empty());
}

}  // namespace
