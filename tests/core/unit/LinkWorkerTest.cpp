#include "unit/LinkWorker.h"

#include <future>
#include <memory>

#include "EmulatedUnitTest.h"
#include "link/ParameterMessages.h"
#include "model/Scales.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

namespace {

class LinkWorkerTest : public EmulatedUnitTest {
protected:
    // Holds the worker inside a job until Release, so that what is posted
    // meanwhile waits in the queue.
    void HoldWorker()
    {
        worker_.Post([this](Link&) { release_.get_future().wait(); });
    }
    void Release() { release_.set_value(); }

    Bytes GainPayload(int step)
    {
        model.gain[kSlotLeftRight] = step;
        return ParameterPayload(model, PID_LR_GAIN);
    }

    LinkWorker worker_{link};
    std::promise<void> release_;
};

TEST_F(LinkWorkerTest, WaitingMessagesOfOneFieldAreReplacedByTheLatestAndWhatIsSentKeepsThePostedOrder)
{
    Connected();
    HoldWorker();
    worker_.PostParameter(GainPayload(100));
    // The mute message carries the gain too: a newer gain must not overtake it.
    model.mute[kSlotLeftRight] = 1;
    worker_.PostParameter(ParameterPayload(model, PID_LR_MUTE));
    for (int step = 101; step <= 120; ++step) worker_.PostParameter(GainPayload(step));
    Release();
    worker_.WaitIdle();

    const std::vector<Bytes> expected{{PID_LR_MUTE, 100, 1}, {PID_LR_GAIN, 120, 1}};
    EXPECT_EQ(unit_.ReceivedPayloads(), expected);
    EXPECT_EQ(worker_.ParametersSent(), 2);
    EXPECT_EQ(unit_.CurrentImage()[1], 120);  // the unit holds the final value

    // A message that went out is never replaced: a new value after it is sent after it.
    worker_.PostParameter(GainPayload(90));
    worker_.WaitIdle();
    EXPECT_EQ(unit_.ReceivedPayloads().back(), (Bytes{PID_LR_GAIN, 90, 1}));
}

TEST_F(LinkWorkerTest, CancelEndsTheOperationUnderWayAtOnceAndOneStillQueuedAtItsStart)
{
    Connected();
    unit_.SetFaults({.silent = true});
    std::promise<int> firstResult;
    std::promise<int> secondResult;
    const auto under = worker_.Post([&](Link& l) { firstResult.set_value(StoreMemorySlot(l, 1, "Hall")); });
    const auto queued = worker_.Post([&](Link& l) { secondResult.set_value(RecallMemorySlot(l, 2)); });
    worker_.Cancel(queued);
    // The first waits out its attention step unless cancelled.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto cancelledAt = Clock::now();
    worker_.Cancel(under);
    EXPECT_EQ(firstResult.get_future().get(), kResultNoAnswer);
    EXPECT_EQ(secondResult.get_future().get(), kResultNoAnswer);
    EXPECT_LT(ElapsedMs(cancelledAt), 500);  // a time-out would take 1000 ms per step

    // Work posted after a cancel starts normally.
    unit_.SetFaults({});
    unit_.ClearReceived();
    worker_.PostParameter(GainPayload(110));
    worker_.WaitIdle();
    EXPECT_EQ(unit_.ReceivedPayloads(), (std::vector<Bytes>{{PID_LR_GAIN, 110, 0}}));
}

// The unit stops answering during a show: what it did not take is kept (the
// latest value of each field), goes out once it answers again and is read
// back; a value the unit holds otherwise is named.
TEST_F(LinkWorkerTest, MessagesTheUnitDidNotAnswerAreKeptSentWhenItAnswersAgainAndReadBack)
{
    Connected();
    unit_.SetFaults({.silent = true});
    // Unasked, the worker only reports what the unit did not answer (the remote settles its requests so).
    worker_.PostParameter(GainPayload(90));
    worker_.WaitIdle();
    EXPECT_EQ(worker_.PendingCount(), 0u);

    worker_.KeepUnanswered(std::chrono::milliseconds(100));
    // Shared, so that a resend after a failed wait below finds it alive.
    auto resent = std::make_shared<std::promise<ResendReport>>();
    worker_.onResent = [resent](const ResendReport& report) { resent->set_value(report); };
    worker_.PostParameter(GainPayload(100));
    worker_.WaitIdle();
    model.curChannel = kSlotLeftRight;
    model.delay[kSlotLeftRight] = 40;
    const Bytes delay = ParameterPayload(model, PID_DELAY);
    worker_.PostParameter(delay);
    // Beyond the gain's range: the unit's setting reads back at the top of it.
    const Bytes beyondRange = GainPayload(kGainStepMax + 5);
    worker_.PostParameter(beyondRange);
    worker_.WaitIdle();
    EXPECT_EQ(worker_.PendingCount(), 2u);

    unit_.SetFaults({});
    unit_.ClearReceived();
    std::future<ResendReport> resend = resent->get_future();
    ASSERT_EQ(resend.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const ResendReport report = resend.get();
    EXPECT_EQ(report.sent, (std::vector<Bytes>{delay, beyondRange}));
    ASSERT_GE(unit_.ReceivedPayloads().size(), 2u);
    EXPECT_EQ(unit_.ReceivedPayloads()[0], delay);
    EXPECT_EQ(unit_.ReceivedPayloads()[1], beyondRange);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.differing, (std::vector<Bytes>{{PID_LR_GAIN, kGainStepMax, 0}}));
    EXPECT_EQ(report.unitSetting.delay[kSlotLeftRight], 40);
    EXPECT_EQ(worker_.PendingCount(), 0u);
}

}  // namespace
