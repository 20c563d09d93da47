// How a command of quenbar-cli fails: the message for stderr and the exit code.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int kExitDone = 0;
inline constexpr int kExitBadInput = 2;    // bad arguments or a file error
inline constexpr int kExitUnitFailed = 3;  // the port or the unit failed
// A measurement that failed (the sound card, a cancel) or whose verdict is
// not ok for every output.
inline constexpr int kExitMeasureFailed = 4;

class CommandError : public std::runtime_error {
public:
    CommandError(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
    int ExitCode() const { return exitCode_; }

private:
    int exitCode_;
};
