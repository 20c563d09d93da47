// The audio thread's side of a sequence, fed by hand: what it records and
// the microphone's peak the level meter takes.
#include <gtest/gtest.h>

#include <vector>

#include "SequencePlayer.h"

TEST(SequencePlayer, ThePeakIsTheLoudestSinceItWasLastTakenAndTheRecordingStopsWhenFull)
{
    RecordChannels channels;
    channels.microphone = 1;
    SequencePlayer player(std::vector<float>(4, 0.1f), channels, 5);
    player.SetRecordedChannels(2);
    player.OnRecord(std::vector<float>{0.9f, -0.5f, 0.0f, 0.1f});  // channel 2 is the microphone
    player.OnRecord(std::vector<float>{0.0f, 0.25f});              // a quieter block after it
    EXPECT_NEAR(player.TakePeakDbfs(), -6.02, 0.01);
    player.OnRecord(std::vector<float>{0.0f, 0.25f});
    EXPECT_NEAR(player.TakePeakDbfs(), -12.04, 0.01);  // taken: from then on
    player.OnRecord(std::vector<float>{0.0f, 0.3f, 0.0f, 0.4f, 0.0f, 0.6f});
    EXPECT_EQ(player.Frames(), 5u);
    EXPECT_TRUE(player.Full());
    EXPECT_EQ(player.Microphone().back(), 0.3f);  // one frame had room
}
