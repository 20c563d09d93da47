// Runs the built quenbar-cli as a separate process and collects what it
// printed and how it ended.
#pragma once

#include <string>
#include <vector>

struct CliRun {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs quenbar-cli with the arguments and waits for it (the tests' CTest
// time-out ends a program that hangs).
CliRun RunCli(const std::vector<std::string>& args);
// The same for any program: command[0] is its path.
CliRun RunProgram(const std::vector<std::string>& command);

// A quenbar-cli (or any program) started without waiting for it, its
// output going to files.
struct CliProcess {
    int pid = -1;
    std::string outPath;
    std::string errPath;
    int input = -1;  // the writing end of its standard input; -1: it reads /dev/null
};
CliProcess StartCli(const std::vector<std::string>& args);
CliProcess StartProgram(const std::vector<std::string>& command);
// With a pipe for its standard input, written by WriteInput; FinishCli closes it.
CliProcess StartCliWithInput(const std::vector<std::string>& args);
void WriteInput(const CliProcess& process, const std::string& text);
// Ends its input (the program reads the end of it), as FinishCli does first.
void CloseInput(CliProcess& process);
// Waits for it to end and collects what it printed.
CliRun FinishCli(const CliProcess& process);

// A file path in a fresh directory of its own, removed at exit.
std::string TempPath(const std::string& name);

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> ReadBytes(const std::string& path);
