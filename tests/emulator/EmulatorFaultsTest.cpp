// The emulated unit's fault switches, which the program's tests rely on.
#include <gtest/gtest.h>

#include "tests/emulator/RawLine.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

EmulatorFaults With(void (*set)(EmulatorFaults&))
{
    EmulatorFaults faults;
    set(faults);
    return faults;
}

TEST(EmulatorFaultsTest, SilentUnitAnswersNothingButHearsEverything)
{
    EmulatedLine emu(With([](EmulatorFaults& f) { f.silent = true; }));
    ASSERT_TRUE(emu.line.IsOpen());
    EXPECT_TRUE(emu.line.Exchange({0xFA}, 1, 200ms).empty());
    const Bytes frame = Frame({211, 1, 1});
    EXPECT_TRUE(emu.line.Exchange(frame, 1, 200ms).empty());
    Bytes all{0xFA};
    all.insert(all.end(), frame.begin(), frame.end());
    EXPECT_EQ(emu.unit.ReceivedBytes(), all);
    EXPECT_EQ(emu.unit.CurrentImage()[1], 0x80) << "a silent unit applies nothing";
}

TEST(EmulatorFaultsTest, NoFrameAckAnswersOnlyTheAttentionByte)
{
    EmulatedLine emu(With([](EmulatorFaults& f) { f.noFrameAck = true; }));
    EXPECT_EQ(emu.line.Exchange({0xFA}, 1), Bytes{0x50});
    EXPECT_TRUE(emu.line.Exchange(Frame({0xC9, 0x00}), 1, 200ms).empty());
    EXPECT_EQ(emu.unit.Exchanges(), 0);
}

TEST(EmulatorFaultsTest, WrongConnectReplyStartsWithAnotherByte)
{
    EmulatedLine emu(With([](EmulatorFaults& f) { f.wrongConnectReply = true; }));
    const Bytes reply = emu.line.Command({0xC9, 0x00}, 16);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_NE(reply[0], 0x51);
}

TEST(EmulatorFaultsTest, GarbageComesBeforeEveryAcknowledgementAndNeverLooksLikeOne)
{
    EmulatedLine emu(With([](EmulatorFaults& f) { f.garbageBeforeAck = true; }));
    const Bytes attention = emu.line.Exchange({0xFA}, 8, 200ms);
    ASSERT_GT(attention.size(), 1u);
    EXPECT_EQ(attention.back(), 0x50);
    for (std::size_t i = 0; i + 1 < attention.size(); ++i) {
        EXPECT_NE(attention[i], 0x50);
        EXPECT_NE(attention[i], 0x51);
        EXPECT_NE(attention[i], 0x53);
    }
    EXPECT_EQ(emu.line.Exchange(Frame({127, 1, 0}), attention.size()).back(), 0x51);
    // Block replies are sent as they are.
    EXPECT_EQ(emu.line.Exchange({0xFA}, attention.size()).back(), 0x50);
    EXPECT_EQ(emu.line.Exchange(Frame({0xC9, 0x00}), 16).at(0), 0x51);
}

TEST(EmulatorFaultsTest, DelayedSplitAndPacedRepliesTakeTheirTime)
{
    struct Case {
        EmulatorFaults faults;
        Clock::duration atLeast;
    };
    EmulatorFaults delayed, split, paced;
    delayed.replyDelayMs = 150;
    split.splitReplies = true;
    split.splitGapMs = 10;
    paced.paceBaud = 9600;
    // The 65-byte read reply: 64 gaps when split; 10 bits a byte (about 68 ms) when paced.
    for (const Case& c : {Case{delayed, 150ms}, Case{split, 640ms}, Case{paced, 67ms}}) {
        EmulatedLine emu(c.faults);
        ASSERT_EQ(emu.line.Exchange({0xFA}, 1, 2s), Bytes{0x50});
        const auto start = Clock::now();
        EXPECT_EQ(emu.line.Exchange(Frame({0xCD, 0x00}), 65, 3s).size(), 65u);
        EXPECT_GE(Clock::now() - start, c.atLeast);
    }
}

TEST(EmulatorFaultsTest, HangsUpAfterTheGivenNumberOfAnsweredFrames)
{
    // The program sends again: that message goes unanswered and the line goes.
    EmulatedLine busy(With([](EmulatorFaults& f) { f.hangUpAfterExchanges = 1; }));
    EXPECT_EQ(busy.line.Command({0xC9, 0x00}, 16).size(), 16u);
    EXPECT_TRUE(busy.line.Exchange({0xFA}, 1, 300ms).empty());
    EXPECT_TRUE(busy.line.HungUp(3s));
    EXPECT_EQ(busy.unit.Exchanges(), 1);

    // The program stays quiet: the line goes anyway.
    EmulatedLine quiet(With([](EmulatorFaults& f) { f.hangUpAfterExchanges = 1; }));
    EXPECT_EQ(quiet.line.Command({0xC9, 0x00}, 16).size(), 16u);
    EXPECT_TRUE(quiet.line.HungUp(3s));
    EXPECT_TRUE(quiet.unit.HungUp());
    quiet.unit.Stop();  // stopping a unit that has hung up by itself is fine
}

TEST(EmulatorFaultsTest, FaultsCanBeSwitchedWhileServing)
{
    EmulatedLine emu;
    EXPECT_EQ(emu.line.Exchange({0xFA}, 1), Bytes{0x50});
    emu.unit.SetFaults(With([](EmulatorFaults& f) { f.silent = true; }));
    EXPECT_TRUE(emu.line.Exchange({0xFA}, 1, 200ms).empty());
    emu.unit.SetFaults({});
    EXPECT_EQ(emu.line.Exchange({0xFA}, 1), Bytes{0x50});
}

}  // namespace
