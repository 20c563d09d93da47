// The rx74-emulator program: device path on stdout, --link, --state, clean exit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/emulator/Programs.h"
#include "tests/emulator/RawLine.h"

namespace {

TEST(EmulatorProgramTest, ServesItsLinkAndKeepsItsStateAcrossRuns)
{
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "rx74-program-test-link", state = dir + "rx74-program-test-state";
    std::filesystem::remove(state);

    auto [pid, device] = LaunchEmulator({"--link", link, "--state", state});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
    {
        RawLine line(link);
        ASSERT_EQ(line.Command({211, 77, 0}, 1), Bytes{0x51});
    }
    EXPECT_EQ(TerminateAndWait(pid), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    auto [again, secondDevice] = LaunchEmulator({"--state", state});
    ASSERT_GT(again, 0);
    {
        RawLine line(secondDevice);
        EXPECT_EQ(line.Command({0xCD, 0x00}, 65).at(1), 77) << "the setting came back from the state file";
    }
    EXPECT_EQ(TerminateAndWait(again), 0);
    std::filesystem::remove(state);
}

}  // namespace
