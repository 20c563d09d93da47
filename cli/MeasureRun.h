// What the command line's measuring commands share where the measurement
// is built (Linux): Ctrl+C, the progress on standard error, the settings of
// the audio options, the exit codes, the files of --out.
#pragma once

#include <atomic>
#include <string>

#include "MeasureCommands.h"
#include "Measurement.h"
#include "PositionsMeasurement.h"

// Ctrl+C sets Interrupted(), which ends a sequence at its next step (and
// so puts the mutes back); the program's own handling comes back when this goes.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    static const std::atomic<bool>& Interrupted();

private:
    void (*previous_)(int);
};

// A sequence's progress on standard error, each line led by the command's
// name: on a terminal one line, rewritten with the input level while a
// sweep plays; otherwise a line when each output's sweep starts and one
// with its input peak when it ends.
class ProgressReport {
public:
    explicit ProgressReport(std::string command);
    ~ProgressReport();
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    void Progress(const MeasureProgress& progress);
    void Level(double dbfs);
    // A line of its own ("tune: applying").
    void Say(const std::string& line);
    // A line of its own as it is, for the person to act on.
    void Prompt(const std::string& line);
    // Progress and Level as a sequence's callbacks.
    MeasureCallbacks Callbacks();

private:
    void Draw();

    std::string command_;
    bool terminal_;
    bool drawn_ = false;
    std::string phase_;
    double fraction_ = 0;
    double level_ = kSilenceDbfs;
    double sweepPeak_ = kSilenceDbfs;
};

// The sequence's settings of the options; CommandError 2 for --outputs
// that name no output list.
MeasureSettings MeasureSettingsOf(const MeasureArgs& args);
int MeasureExitCode(const MeasureError& error);
// Writes the files of --out, each one said on standard error; CommandError 2
// when it cannot.
void SaveMeasurementFiles(const MeasurementResult& result, const std::string& folder);
void SavePositionsFiles(const PositionsResult& result, const std::string& folder);
