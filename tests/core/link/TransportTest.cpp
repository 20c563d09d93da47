// The transport and its reply recogniser over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <numeric>
#include <thread>

#include "PtyPeer.h"
#include "link/Link.h"
#include "model/Model.h"

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
        link_.SetDevice(peer_.DevicePath());
        ASSERT_TRUE(link_.Open());
    }
    void TearDown() override
    {
        link_.Close();
        link_.EndOperation();
    }
    PtyPeer peer_;
    ParameterModel model_{};
    Link link_{model_};
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
    link_.BeginStep(kReplyQ);
    peer_.Send({0x01, 0x02, 0x51, 0x03, 0x04});
    EXPECT_TRUE(link_.WaitForAnswer(1000));
    EXPECT_EQ(link_.Recogniser().ExpectedReply(), kReplyQ + 1);
}

TEST_F(TransportTest, BytesWhileIdleOrAfterAStepNeverAnswerALaterStep)
{
    peer_.Send({0x50});  // while idle
    peer_.AwaitTaken();
    link_.BeginStep(kReplyP);
    peer_.Send({0x00});
    EXPECT_FALSE(link_.WaitForAnswer(200));

    link_.BeginStep(kReplyQ);
    peer_.Send({0x51});
    ASSERT_TRUE(link_.WaitForAnswer(1000));
    peer_.Send({0x00, 0x50});  // late bytes, collected after the step completed
    peer_.AwaitTaken();
    link_.BeginStep(kReplyP);
    peer_.Send({0x00});  // something else arrives: the old "P" must not count
    EXPECT_FALSE(link_.WaitForAnswer(200));
}

TEST_F(TransportTest, BlockInFragmentsCompletesOnlyWhenAllBytesHaveArrived)
{
    Bytes reply(25);
    std::iota(reply.begin(), reply.end(), std::uint8_t{100});
    link_.BeginStep(ReplyBlock(21));
    peer_.Send(Bytes(reply.begin(), reply.begin() + 10));
    EXPECT_FALSE(link_.WaitForAnswer(150));
    peer_.Send(Bytes(reply.begin() + 10, reply.end()));
    ASSERT_TRUE(link_.WaitForAnswer(1000));
    EXPECT_EQ(link_.Recogniser().ExpectedReply(), ReplyBlock(21) + 1);
    // Everything that had arrived by then lands in the buffer, from offset 0.
    Bytes copied(25);
    link_.CopyReply(copied.data(), 25);
    EXPECT_EQ(copied, reply);
}

TEST_F(TransportTest, BytesAfterACompleteAnswerNeitherReopenNorOverwriteIt)
{
    Bytes reply(16);
    std::iota(reply.begin(), reply.end(), std::uint8_t{1});
    link_.BeginStep(ReplyBlock(16));
    peer_.Send(reply);
    ASSERT_TRUE(link_.WaitForAnswer(1000));
    peer_.Send(Bytes(40, 0xEE));  // enough to answer the next block code as well
    peer_.AwaitTaken();
    EXPECT_TRUE(link_.WaitForAnswer(100));
    Bytes copied(16);
    link_.CopyReply(copied.data(), 16);
    EXPECT_EQ(copied, reply);
}

TEST_F(TransportTest, SilentUnitEndsTheWaitAfterItsTimeOut)
{
    link_.BeginStep(kReplyP);
    const auto start = Clock::now();
    EXPECT_FALSE(link_.WaitForAnswer(1000));
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(TransportTest, BurstBeyondTheAccumulatorKeepsOnlyWhatFits)
{
    // A block: the first 500 of the collected bytes reach the reply buffer.
    Bytes burst(5000);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
    link_.BeginStep(ReplyBlock(255));
    peer_.Send(burst);
    ASSERT_TRUE(link_.WaitForAnswer(1000));
    Bytes copied(kReplyBufferSize);
    link_.CopyReply(copied.data(), kReplyBufferSize);
    EXPECT_EQ(copied, Bytes(burst.begin(), burst.begin() + kReplyBufferSize));

    // A byte: once 4096 bytes of garbage fill the accumulator, a later
    // acknowledgement is dropped and the step times out.
    peer_.AwaitTaken();
    link_.BeginStep(kReplyQ);
    peer_.Send(Bytes(5000, 0x00));
    peer_.AwaitTaken();
    peer_.Send({0x51});
    EXPECT_FALSE(link_.WaitForAnswer(300));
}

TEST_F(TransportTest, CloseAndReopenGiveAWorkingLine)
{
    const auto start = Clock::now();
    link_.Close();
    EXPECT_LT(ElapsedMs(start), 5000);  // the receive thread, blocked without a time-out, is woken
    EXPECT_FALSE(link_.IsOpen());
    link_.Close();
    ASSERT_TRUE(link_.Open());
    link_.BeginStep(kReplyP);
    peer_.Send({0x50});
    EXPECT_TRUE(link_.WaitForAnswer(1000));
}

TEST_F(TransportTest, HungUpDeviceEndsTheWaitAtOnceWithoutSpinningAndCanBeReplaced)
{
    // A wait under way when the device goes away ends then, not at its time-out.
    link_.BeginStep(kReplyP);
    std::thread pullTheCable([this] {
        Pause(100);
        peer_.HangUp();
    });
    const auto start = Clock::now();
    EXPECT_FALSE(link_.WaitForAnswer(5000));
    EXPECT_LT(ElapsedMs(start), 4000);
    pullTheCable.join();

    // So does every later step, while the receive thread sleeps.
    const double cpuBefore = ProcessCpuSeconds();
    const auto later = Clock::now();
    link_.BeginStep(kReplyP);
    const std::uint8_t attention = 0xFA;
    link_.Write(&attention, 1);
    EXPECT_FALSE(link_.WaitForAnswer(5000));
    EXPECT_LT(ElapsedMs(later), 4000);
    Pause(1000);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.3);  // a spinning thread would take the whole second

    PtyPeer replacement;
    ASSERT_TRUE(replacement.Ok());
    link_.SetDevice(replacement.DevicePath());
    ASSERT_TRUE(link_.Open());
    link_.BeginStep(kReplyP);
    replacement.Send({0x50});
    EXPECT_TRUE(link_.WaitForAnswer(1000));
}

// A far end that takes nothing (a stopped adapter, flow control held) fills
// the output queue: the write waits its budget for room, without spinning,
// then gives up rather than holding up the exchange for ever.
TEST_F(TransportTest, WriteToAFullOutputQueueGivesUpAfterItsBudgetWithoutSpinning)
{
    const Bytes block(1 << 20, 0x55);
    std::atomic<bool> returned{false};
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::thread writer([&] {
        link_.Write(block.data(), static_cast<int>(block.size()));
        returned = true;
    });
    while (!returned && ElapsedMs(start) < 5000) Pause(10);
    const long elapsed = ElapsedMs(start);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const bool gaveUp = returned;
    if (!gaveUp) peer_.Receive(block.size(), 5000);  // lets a stuck writer finish, so the test ends
    writer.join();
    EXPECT_TRUE(gaveUp);
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(cpu, 0.5);  // a writer retrying at once would take the whole budget
}

TEST(TransportWithoutPort, CloseOfAPortNeverOpenedOrThatFailedToOpenDoesNothing)
{
    ParameterModel model{};
    Link link_(model);
    link_.Close();
    link_.SetDevice("/nonexistent/quenbar-port");
    EXPECT_FALSE(link_.Open());
    EXPECT_FALSE(link_.IsOpen());
    link_.Close();
    link_.Close();
}

}  // namespace
