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

// A file path in a fresh directory of its own, removed at exit.
std::string TempPath(const std::string& name);

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> ReadBytes(const std::string& path);
