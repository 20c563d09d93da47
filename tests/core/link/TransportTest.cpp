// The transport and its reply recogniser over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <ctime>
#include <numeric>
#include <thread>

#include "PtyPeer.h"
#include "link/Transport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer_.Ok());
        ASSERT_EQ(CommInit(), 1);
        CommSetPortDevice(peer_.DevicePath());
        ASSERT_NE(CommOpen(), 0);
    }
    void TearDown() override
    {
        CommShutdown();
        g_expectedReply.store(kReplyIdle);
    }
    PtyPeer peer_;
};

TEST_F(TransportTest, OpenSetsTheLineTo57600EightNoParityOneStopRaw)
{
    termios tio{};
    ASSERT_EQ(::tcgetattr(peer_.DeviceSide(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(TransportTest, AwaitedByteAmongOthersCompletesTheStepAndAdvancesTheCode)
{
    CommBeginStep(kReplyQ);
    peer_.Send({0x01, 0x02, 0x51, 0x03, 0x04});
    EXPECT_EQ(CommWaitReply(1000), 0);
    EXPECT_EQ(g_expectedReply.load(), kReplyQ + 1);
}

TEST_F(TransportTest, BytesWhileIdleOrAfterAStepNeverAnswerALaterStep)
{
    peer_.Send({0x50});  // while idle
    peer_.AwaitTaken();
    CommBeginStep(kReplyP);
    peer_.Send({0x00});
    EXPECT_EQ(CommWaitReply(200), 1);

    CommBeginStep(kReplyQ);
    peer_.Send({0x51});
    ASSERT_EQ(CommWaitReply(1000), 0);
    peer_.Send({0x00, 0x50});  // late bytes, collected after the step completed
    peer_.AwaitTaken();
    CommBeginStep(kReplyP);
    peer_.Send({0x00});  // something else arrives: the old "P" must not count
    EXPECT_EQ(CommWaitReply(200), 1);
}

TEST_F(TransportTest, BlockInFragmentsCompletesOnlyWhenAllBytesHaveArrived)
{
    Bytes reply(25);
    std::iota(reply.begin(), reply.end(), std::uint8_t{100});
    CommBeginStep(ReplyBlock(21));
    peer_.Send(Bytes(reply.begin(), reply.begin() + 10));
    EXPECT_EQ(CommWaitReply(150), 1);
    peer_.Send(Bytes(reply.begin() + 10, reply.end()));
    ASSERT_EQ(CommWaitReply(1000), 0);
    EXPECT_EQ(g_expectedReply.load(), ReplyBlock(21) + 1);
    // Everything that had arrived by then lands in the buffer, from offset 0.
    Bytes copied(25);
    CommCopyReply(copied.data(), 25);
    EXPECT_EQ(copied, reply);
}

TEST_F(TransportTest, BytesAfterACompleteAnswerNeitherReopenNorOverwriteIt)
{
    Bytes reply(16);
    std::iota(reply.begin(), reply.end(), std::uint8_t{1});
    CommBeginStep(ReplyBlock(16));
    peer_.Send(reply);
    ASSERT_EQ(CommWaitReply(1000), 0);
    peer_.Send(Bytes(40, 0xEE));  // enough to answer the next block code as well
    peer_.AwaitTaken();
    EXPECT_EQ(CommWaitReply(100), 0);
    Bytes copied(16);
    CommCopyReply(copied.data(), 16);
    EXPECT_EQ(copied, reply);
}

TEST_F(TransportTest, SilentUnitEndsTheWaitAfterItsTimeOut)
{
    CommBeginStep(kReplyP);
    const auto start = Clock::now();
    EXPECT_EQ(CommWaitReply(1000), 1);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(TransportTest, BurstBeyondTheAccumulatorKeepsOnlyWhatFits)
{
    // A block: the first 500 of the collected bytes reach the reply buffer.
    Bytes burst(5000);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
    CommBeginStep(ReplyBlock(255));
    peer_.Send(burst);
    ASSERT_EQ(CommWaitReply(1000), 0);
    Bytes copied(kReplyBufferSize);
    CommCopyReply(copied.data(), kReplyBufferSize);
    EXPECT_EQ(copied, Bytes(burst.begin(), burst.begin() + kReplyBufferSize));

    // A byte: once 4096 bytes of garbage fill the accumulator, a later
    // acknowledgement is dropped and the step times out.
    peer_.AwaitTaken();
    CommBeginStep(kReplyQ);
    peer_.Send(Bytes(5000, 0x00));
    peer_.AwaitTaken();
    peer_.Send({0x51});
    EXPECT_EQ(CommWaitReply(300), 1);
}

TEST_F(TransportTest, CloseAndReopenGiveAWorkingLine)
{
    const auto start = Clock::now();
    EXPECT_EQ(CommClose(), 1);
    EXPECT_LT(ElapsedMs(start), 5000);  // the receive thread, blocked without a time-out, is woken
    EXPECT_FALSE(CommIsOpen());
    EXPECT_EQ(CommClose(), 1);
    ASSERT_NE(CommOpen(), 0);
    CommBeginStep(kReplyP);
    peer_.Send({0x50});
    EXPECT_EQ(CommWaitReply(1000), 0);
}

TEST_F(TransportTest, HungUpDeviceEndsTheWaitAtOnceWithoutSpinningAndCanBeReplaced)
{
    // A wait under way when the device goes away ends then, not at its time-out.
    CommBeginStep(kReplyP);
    std::thread pullTheCable([this] {
        Pause(100);
        peer_.HangUp();
    });
    const auto start = Clock::now();
    EXPECT_EQ(CommWaitReply(5000), 1);
    EXPECT_LT(ElapsedMs(start), 4000);
    pullTheCable.join();

    // So does every later step, while the receive thread sleeps.
    const double cpuBefore = ProcessCpuSeconds();
    const auto later = Clock::now();
    CommBeginStep(kReplyP);
    const std::uint8_t attention = 0xFA;
    CommWrite(&attention, 1);
    EXPECT_EQ(CommWaitReply(5000), 1);
    EXPECT_LT(ElapsedMs(later), 4000);
    Pause(1000);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.3);  // a spinning thread would take the whole second

    PtyPeer replacement;
    ASSERT_TRUE(replacement.Ok());
    CommSetPortDevice(replacement.DevicePath());
    ASSERT_NE(CommOpen(), 0);
    CommBeginStep(kReplyP);
    replacement.Send({0x50});
    EXPECT_EQ(CommWaitReply(1000), 0);
}

TEST(TransportWithoutPort, CloseOfAPortNeverOpenedOrThatFailedToOpenDoesNothing)
{
    ASSERT_EQ(CommInit(), 1);
    EXPECT_EQ(CommClose(), 1);
    CommSetPortDevice("/nonexistent/quenbar-port");
    EXPECT_EQ(CommOpen(), 0);
    EXPECT_FALSE(CommIsOpen());
    EXPECT_EQ(CommClose(), 1);
    EXPECT_EQ(CommShutdown(), 1);
}

}  // namespace
