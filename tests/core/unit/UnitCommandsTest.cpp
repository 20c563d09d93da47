// Each unit command and parameter message against the emulated unit: the
// exact bytes on the line, the results, and the recogniser left idle.
#include "EmulatedUnitTest.h"
#include "link/ParameterMessages.h"
#include "unit/UnitCommands.h"

namespace {

using UnitCommandsTest = EmulatedUnitTest;

// The same exchanges on either line: in memory each reply byte is read on
// its own; on the pseudo-terminal the replies can come late as well.
class UnitRepliesTest : public EmulatedUnitTest, public ::testing::WithParamInterface<UnitBehindLink::Wire> {
protected:
    UnitRepliesTest() : EmulatedUnitTest(GetParam()) {}
};

TEST_F(UnitCommandsTest, EveryParameterIdGoesOutAsItsFrameAndTheUnitAppliesIt)
{
    Connected();
    model.gain[0] = 100;
    model.hpfType[2] = 3;
    model.hpfFreq[2] = 65;
    model.curChannel = 2;
    model.curBand = 1;
    Bytes expectedWire;
    std::vector<Bytes> expectedPayloads;
    for (int id : kAllParameterIds) {
        if (id == PID_RESET) continue;  // would put the unit back to the factory
        ASSERT_EQ(SendParameter(link, id), kResultDone) << "id " << id;
        EXPECT_EQ(link.Recogniser().ExpectedReply(), kReplyIdle);
        const Bytes payload = ParameterPayload(model, id);
        expectedPayloads.push_back(payload);
        const Bytes step = AttentionAndFrame(payload);
        expectedWire.insert(expectedWire.end(), step.begin(), step.end());
    }
    EXPECT_EQ(unit_.ReceivedPayloads(), expectedPayloads);
    EXPECT_EQ(unit_.ReceivedBytes(), expectedWire);
    // The unit's own reading of the messages matches the model.
    EXPECT_EQ(unit_.CurrentImage(), ModelImage(model));
}

TEST_F(UnitCommandsTest, NothingGoesOnTheLineWhileNotConnectedOrForASlotOutsideOneToSix)
{
    const auto start = Clock::now();
    for (int id : kAllParameterIds) EXPECT_EQ(SendParameter(link, id), kResultNotConnected);
    std::uint8_t buffer[64] = {};
    EXPECT_EQ(SendCommand(link, 0x2E, 1), kResultNotConnected);
    EXPECT_EQ(UnitReadCurrent(link, buffer), kResultNotConnected);
    EXPECT_EQ(UnitReadMemoryName(link, 1, buffer), kResultNotConnected);
    EXPECT_EQ(UnitStoreMemory(link, 1, "Name            ", buffer), kResultNotConnected);
    EXPECT_EQ(UnitReadMemory(link, 1, buffer, 0), kResultNotConnected);
    EXPECT_EQ(UnitDeleteMemory(link, 1), kResultNotConnected);
    EXPECT_EQ(UnitWriteLogo(link), kResultNotConnected);
    EXPECT_LT(ElapsedMs(start), 1000);  // not one of them waited for an answer's time-out

    Connected();  // slots outside 1..6 never reach the line either
    EXPECT_EQ(UnitReadMemoryName(link, 0, buffer), kResultNoAnswer);
    EXPECT_EQ(UnitReadMemory(link, 7, buffer, 0), kResultNoAnswer);
    EXPECT_EQ(UnitStoreMemory(link, -1, "Name            ", buffer), kResultNoAnswer);
    EXPECT_EQ(UnitDeleteMemory(link, 256 + 1), kResultNoAnswer);
    EXPECT_TRUE(unit_.ReceivedBytes().empty());
}

TEST_F(UnitCommandsTest, StoreSendsFrameImageBlockAndNameFieldAndDeleteErasesTheSlot)
{
    Connected();
    Bytes block(64, 0);
    for (int i = 0; i < 62; ++i) block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(200 - i);
    const char name[16] = {'M', 'a', 'i', 'n', '\t', 'X', '\0', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    ASSERT_EQ(UnitStoreMemory(link, 5, name, block.data()), kResultDone);

    const Bytes nameField{0x01, 'M', 'a', 'i', 'n', ' ', 'X', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(unit_.ReceivedBytes(), Concat({AttentionAndFrame({0xCB, 5}), block, nameField}));
    const EmulatedMemory stored = unit_.Memory(5);
    EXPECT_TRUE(stored.used);
    EXPECT_EQ(stored.name, "Main X          ");
    EXPECT_TRUE(std::equal(stored.image.begin(), stored.image.end(), block.begin()));
    EXPECT_STREQ(model.memName[4], "Main\tX");  // the program keeps the name as given
    EXPECT_EQ(model.memUsed[4], 1);

    ASSERT_EQ(UnitDeleteMemory(link, 5), kResultDone);
    EXPECT_EQ(unit_.ReceivedPayloads().back(), (Bytes{0x2E, 5}));
    EXPECT_FALSE(unit_.Memory(5).used);
    EXPECT_EQ(model.memUsed[4], 1);  // a delete leaves the directory as it is
}

TEST_F(UnitCommandsTest, SilentOrDeafUnitFailsTheCommandAfterOneStepTimeOut)
{
    unit_.SetFaults({.silent = true});
    std::uint8_t reply[16];
    auto start = Clock::now();
    EXPECT_EQ(UnitConnect(link, reply), kResultNoAnswer);
    long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(link.Recogniser().ExpectedReply(), kReplyIdle);
    // Nothing further is sent once the attention byte went unanswered.
    EXPECT_EQ(unit_.ReceivedBytes(), Bytes{kAttentionByte});

    // A unit that answers the attention byte but not the frame: the second step fails.
    Connected();
    unit_.SetFaults({.noFrameAck = true});
    start = Clock::now();
    EXPECT_EQ(SendParameter(link, PID_LR_GAIN), kResultNoAnswer);
    elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(link.Recogniser().ExpectedReply(), kReplyIdle);
}

TEST_F(UnitCommandsTest, ConnectAnsweredWithAnotherFirstByteFails)
{
    unit_.SetFaults({.wrongConnectReply = true});
    std::uint8_t reply[16];
    EXPECT_EQ(UnitConnect(link, reply), kResultNoAnswer);
    EXPECT_NE(reply[0], 0x51);
}

TEST_F(UnitCommandsTest, DisconnectFromASilentUnitTakesAttentionPlusShortWaitAndSucceeds)
{
    unit_.SetFaults({.silent = true});
    const auto start = Clock::now();
    EXPECT_EQ(UnitDisconnect(link), kResultDone);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 1150);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(unit_.ReceivedBytes(), AttentionAndFrame({0xCA, 0x00}));
    EXPECT_EQ(link.Recogniser().ExpectedReply(), kReplyIdle);
}

TEST_P(UnitRepliesTest, SplitDelayedAndGarbledRepliesStillComplete)
{
    Connected();
    std::array<std::uint8_t, 62> image{};
    image.fill(0x42);
    unit_.SetCurrentImage(image);
    EmulatorFaults faults{.splitReplies = true, .splitGapMs = 1, .garbageBeforeAck = true};
    if (GetParam() == UnitBehindLink::Wire::PseudoTerminal) faults.replyDelayMs = 20;
    unit_.SetFaults(faults);
    std::uint8_t read[62];
    ASSERT_EQ(UnitReadCurrent(link, read), kResultDone);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), read));
    EXPECT_EQ(SendParameter(link, PID_LR_MUTE), kResultDone);
}

INSTANTIATE_TEST_SUITE_P(OnEitherLine, UnitRepliesTest,
                         ::testing::Values(UnitBehindLink::Wire::InMemory, UnitBehindLink::Wire::PseudoTerminal),
                         [](const auto& wire) {
                             return wire.param == UnitBehindLink::Wire::InMemory ? "InMemory" : "PseudoTerminal";
                         });

}  // namespace
