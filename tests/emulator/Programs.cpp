#include "tests/emulator/Programs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

namespace {

std::vector<char*> Argv(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

pid_t Spawn(const std::string& program, std::vector<std::string> args, const std::string& output)
{
    args.insert(args.begin(), program);
    auto argv = Argv(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::pair<pid_t, std::string> LaunchEmulator(std::vector<std::string> args)
{
    args.insert(args.begin(), RX74_EMULATOR_PROGRAM);
    auto argv = Argv(args);
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

int Wait(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int TerminateAndWait(pid_t pid)
{
    ::kill(pid, SIGTERM);
    return Wait(pid);
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> args)
{
    std::tie(pid_, device_) = LaunchEmulator(std::move(args));
}

void EmulatorProcess::Stop()
{
    if (pid_ > 0) TerminateAndWait(pid_);
    pid_ = -1;
}
