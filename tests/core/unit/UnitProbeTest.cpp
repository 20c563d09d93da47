// The probe against several emulated units at once: one that answers, and
// lines that are silent, garbled, refuse the handshake or hold back the
// connect answer, and a port another program holds.
#include <gtest/gtest.h>

#include <thread>

#include "link/Frame.h"
#include "link/Link.h"
#include "model/Model.h"
#include "tests/core/link/PtyPeer.h"
#include "tests/core/unit/EmulatedUnitTest.h"
#include "unit/UnitProbe.h"

namespace {

// A line at the wrong speed: whatever the program sends, junk comes back.
class GarbledLine {
public:
    GarbledLine()
    {
        answering_ = std::thread([this] {
            if (!peer_.Receive(1, 3000).empty()) peer_.Send({0x00, 0xF0, 0x33});
        });
    }
    ~GarbledLine() { answering_.join(); }
    const std::string& DevicePath() const { return peer_.DevicePath(); }

private:
    PtyPeer peer_;
    std::thread answering_;
};

TEST(UnitProbe, FindsTheOneUnitAndSaysWhyEveryOtherDeviceIsNoUnit)
{
    Rx74Emulator unit, silent({.silent = true}), wrongHandshake({.wrongConnectReply = true}),
        noConnectAnswer({.noFrameAck = true}), held;
    for (Rx74Emulator* emulator : {&unit, &silent, &wrongHandshake, &noConnectAnswer, &held})
        ASSERT_TRUE(emulator->Start());
    GarbledLine garbled;
    ParameterModel otherModel{};
    Link otherProgram(otherModel);
    otherProgram.SetDevice(held.DevicePath());
    ASSERT_TRUE(otherProgram.Open());

    const std::vector<std::string> devices{silent.DevicePath(),  unit.DevicePath(),
                                           garbled.DevicePath(), wrongHandshake.DevicePath(),
                                           held.DevicePath(),    noConnectAnswer.DevicePath()};
    std::vector<std::string> reported;
    const auto start = Clock::now();
    const std::vector<ProbeResult> results =
        ProbeDevices(devices, [&reported](const ProbeResult& result) { reported.push_back(result.device); });
    // Four devices each cost a whole time-out: one after the other they would take four seconds.
    EXPECT_LT(ElapsedMs(start), 3000);
    EXPECT_EQ(reported.size(), devices.size());

    ASSERT_EQ(results.size(), devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) EXPECT_EQ(results[i].device, devices[i]);
    EXPECT_EQ(results[0].handshake.failure, HandshakeFailure::NoAttentionAnswer);
    EXPECT_EQ(results[1].outcome, ProbeOutcome::UnitAnswered);
    EXPECT_EQ(DescribeProbe(results[1]), "unit answered: \"RX7.4 EMULATOR\"");
    EXPECT_EQ(results[2].handshake.failure, HandshakeFailure::WrongAttentionAnswer);
    EXPECT_EQ(DescribeProbe(results[2]),
              "no unit: the attention byte was answered with 0x00, not \"P\": another kind of device, or a "
              "baud-rate mismatch");
    EXPECT_EQ(results[3].handshake.failure, HandshakeFailure::WrongConnectAnswer);
    EXPECT_EQ(results[4].outcome, ProbeOutcome::NotOpened);
    EXPECT_EQ(results[4].lineError.failure, LineFailure::Busy);
    EXPECT_EQ(DescribeProbe(results[4]).rfind("busy, not opened: held by another program.", 0), 0u);
    EXPECT_EQ(results[5].handshake.failure, HandshakeFailure::NoConnectAnswer);

    // The unit saw the handshake and the disconnect and nothing else; the
    // silent line one attention byte; the held port not a byte.
    EXPECT_EQ(unit.ReceivedBytes(), Concat({AttentionAndFrame(CommandPayload(kCodeConnect, 0)),
                                            AttentionAndFrame(CommandPayload(kCodeDisconnect, 0))}));
    EXPECT_EQ(silent.ReceivedBytes(), Bytes{kAttentionByte});
    EXPECT_TRUE(held.ReceivedBytes().empty());
}

}  // namespace
