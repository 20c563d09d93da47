// Programs run by the tests: the emulator itself and the sound server's tools.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Runs `program` with `args`; stdout goes to the file `output` (none: /dev/null).
pid_t Spawn(const std::string& program, std::vector<std::string> args, const std::string& output = "");
// Runs rx74-emulator with `args`; returns its pid and the device line it printed
// (empty when it exited without one).
std::pair<pid_t, std::string> LaunchEmulator(std::vector<std::string> args);
// Sends SIGTERM and returns the exit status (-1: it did not exit by itself).
int TerminateAndWait(pid_t pid);
// Waits for the program to end; its exit status, -1 when it was killed.
int Wait(pid_t pid);

// rx74-emulator for as long as it lives (or until Stop).
class EmulatorProcess {
public:
    explicit EmulatorProcess(std::vector<std::string> args);
    ~EmulatorProcess() { Stop(); }
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;
    void Stop();
    const std::string& device() const { return device_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string device_;
};
