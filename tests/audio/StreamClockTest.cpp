#include "StreamClock.h"

#include <gtest/gtest.h>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 480;  // 10 ms

// Callbacks every 10 ms from `from` seconds for `seconds`, handing over one
// block each, the frames starting at `frames`.
std::int64_t Callbacks(StreamClock& clock, double from, double seconds, std::int64_t frames)
{
    for (double t = from; t < from + seconds; t += 0.01, frames += kBlock) clock.Note(t, frames);
    return frames;
}

TEST(StreamClock, AStreamThatKeepsTimeHasNoGap)
{
    StreamClock clock(kRate);
    Callbacks(clock, 0, 3, kBlock * 10);  // starts 100 ms ahead, as a prebuffer does
    EXPECT_EQ(clock.Gaps(), 0);
}

TEST(StreamClock, ALateCallbackThatCatchesUpLostNothing)
{
    StreamClock clock(kRate);
    std::int64_t frames = Callbacks(clock, 0, 1, 0);
    // 80 ms late, then the blocks it owes at once.
    for (int i = 0; i < 9; ++i, frames += kBlock) clock.Note(1.08, frames);
    Callbacks(clock, 1.09, 2, frames);
    EXPECT_EQ(clock.Gaps(), 0);
}

TEST(StreamClock, EachLagThatHoldsIsOneGap)
{
    StreamClock clock(kRate);
    std::int64_t frames = Callbacks(clock, 0, 1, 0);
    frames = Callbacks(clock, 1.3, 1, frames);  // 300 ms of silence the stream never made up
    EXPECT_EQ(clock.Gaps(), 1);
    Callbacks(clock, 2.35, 1, frames);  // and 50 ms more
    EXPECT_EQ(clock.Gaps(), 2);
}

TEST(StreamClock, ALagWithinTheToleranceIsNoGap)
{
    StreamClock clock(kRate);
    const std::int64_t frames = Callbacks(clock, 0, 1, 0);
    Callbacks(clock, 1.015, 2, frames);
    EXPECT_EQ(clock.Gaps(), 0);
}

}  // namespace
