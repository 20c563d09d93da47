// The rx74-emulator program: device path on stdout, --link, --state, clean exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/emulator/RawLine.h"

namespace {

// Runs the program with `args`; returns its pid and the device line it printed.
std::pair<pid_t, std::string> Launch(std::vector<std::string> args)
{
    args.insert(args.begin(), RX74_EMULATOR_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) return {-1, ""};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    return {pid, line};
}

int TerminateAndWait(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(EmulatorProgramTest, ServesItsLinkAndKeepsItsStateAcrossRuns)
{
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "rx74-program-test-link", state = dir + "rx74-program-test-state";
    std::filesystem::remove(state);

    auto [pid, device] = Launch({"--link", link, "--state", state});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
    {
        RawLine line(link);
        ASSERT_EQ(line.Command({211, 77, 0}, 1), Bytes{0x51});
    }
    EXPECT_EQ(TerminateAndWait(pid), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    auto [again, secondDevice] = Launch({"--state", state});
    ASSERT_GT(again, 0);
    {
        RawLine line(secondDevice);
        EXPECT_EQ(line.Command({0xCD, 0x00}, 65).at(1), 77) << "the setting came back from the state file";
    }
    EXPECT_EQ(TerminateAndWait(again), 0);
    std::filesystem::remove(state);
}

}  // namespace
