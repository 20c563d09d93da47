#include "tests/cli/CliRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/cli/ScratchDirectory.h"

extern char** environ;

CliRun RunCli(const std::vector<std::string>& args) { return FinishCli(StartCli(args)); }

CliRun RunProgram(const std::vector<std::string>& command) { return FinishCli(StartProgram(command)); }

namespace {

std::vector<std::string> CliCommand(const std::vector<std::string>& args)
{
    std::vector<std::string> command{QUENBAR_CLI_PATH};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

// `inputFd` -1: standard input from /dev/null.
CliProcess Start(const std::vector<std::string>& command, int inputFd);

}  // namespace

CliProcess StartCli(const std::vector<std::string>& args) { return StartProgram(CliCommand(args)); }

CliProcess StartProgram(const std::vector<std::string>& command) { return Start(command, -1); }

CliProcess StartCliWithInput(const std::vector<std::string>& args)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    CliProcess process = Start(CliCommand(args), pipeFds[0]);
    ::close(pipeFds[0]);
    process.input = pipeFds[1];
    return process;
}

void WriteInput(const CliProcess& process, const std::string& text)
{
    if (::write(process.input, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot write the program's input");
}

void CloseInput(CliProcess& process)
{
    if (process.input >= 0) ::close(process.input);
    process.input = -1;
}

namespace {

CliProcess Start(const std::vector<std::string>& command, int inputFd)
{
    // What the programs remember between runs goes to the scratch directory,
    // not to the home of whoever runs the tests (unless a test named a place).
    static const bool stateAside = ::setenv("XDG_STATE_HOME", TempPath("state").c_str(), 0) == 0;
    (void)stateAside;
    // Output goes to files: no pipe can fill up and stall the program.
    static std::atomic<int> runs = 0;
    const std::string run = std::to_string(++runs);
    CliProcess process{-1, TempPath("cli" + run + ".out"), TempPath("cli" + run + ".err")};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd < 0)
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, process.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, process.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<std::string> argvStrings = command;
    std::vector<char*> argv;
    for (std::string& a : argvStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + command[0]);
    process.pid = pid;
    return process;
}

}  // namespace

CliRun FinishCli(const CliProcess& process)
{
    if (process.input >= 0) ::close(process.input);
    int status = 0;
    ::waitpid(process.pid, &status, 0);
    const std::vector<unsigned char> out = ReadBytes(process.outPath);
    const std::vector<unsigned char> err = ReadBytes(process.errPath);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, {out.begin(), out.end()}, {err.begin(), err.end()}};
}

std::string TempPath(const std::string& name)
{
    // Removed by its destructor when the program ends. (A handler registered
    // with atexit while the directory was being made would run after it had
    // been destroyed, and remove nothing.)
    static const ScratchDirectory dir("quenbar-cli-test");
    return (dir.Path() / name).string();
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
