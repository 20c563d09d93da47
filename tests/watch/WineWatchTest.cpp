// The Windows build's quenbar-cli.exe watching under Wine: the emulated
// room of the fixture wine_sound plays pink noise, and Wine's capture of
// the microphone's monitor carries the microphone (input 1) and the
// unit's loopback of its input (input 2) on one clock, as on Linux.
#include <gtest/gtest.h>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"
#include "tests/watch/WatchChecks.h"

namespace {

TEST(WineWatch, PinkNoiseGivesTheRoomsCurveAndDelay)
{
    const EmulatorProcess emulator({"--audio"});
    ASSERT_FALSE(emulator.device().empty());
    const SystemTruth truth = TruthOfTheSystem();
    const Programme pink("pink");
    const CliRun run = RunProgram({QUENBAR_WINE_SESSION, QUENBAR_WINE_PREFIX, "run", QUENBAR_WINDOWS_CLI, "watch",
                                   "--record", "Monitor of Quenbar_microphone", "--seconds", "15", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<json> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 30u);  // more than twice a second
    const json& last = lines.back();
    ASSERT_TRUE(last["delayMs"].is_number()) << last;
    EXPECT_NEAR(last["delayMs"].get<double>(), truth.leftArrivalMs, 0.1);
    const auto [largest, compared] = LargestDeviation(last, truth);
    EXPECT_LE(largest, 1.0);
    EXPECT_GT(compared, 150);  // of the 173 points from 40 Hz to 16 kHz
}

}  // namespace
