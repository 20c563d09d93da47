// What the command line's measuring commands share: Ctrl+C
// (InterruptCatcher.h), the progress on standard error, the settings of the
// audio options, the exit codes, the files of --out.
#pragma once

#include <atomic>
#include <string>

#include "CommandError.h"
#include "InterruptCatcher.h"
#include "MeasureCommands.h"
#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "tuning/LevelMatch.h"

struct MeasureArgs {
    std::string outputs = OutputListText(MeasureSettings{}.outputs);
    MeasureSettings settings;  // its outputs from the text above
    std::string folder;
    bool json = false;
    bool noUnit = false;
};

// "tune": the audio options of measure (its outputs are always all four).
struct TuneArgs {
    MeasureArgs audio;
    std::string target;  // a target curve file, as eq fit --target
    LevelOptions levels;
    bool apply = false;
};

// What the commands run.
void ListAudioDevicesCommand(bool json);
void MeasureCommand(const std::string& port, const MeasureArgs& args);
void TuneCommand(const std::string& port, const TuneArgs& args);

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

// Between positions, on standard error and input: what spoils the one just
// measured, where to go next, and the person's line ("again" measures it
// again; the end of the input or Ctrl+C cancels).
PositionChoice AskThePerson(const PositionPause& pause, ProgressReport& report);

// The sequence's settings of the options; CommandError 2, naming the
// option, for one out of its range.
MeasureSettings MeasureSettingsOf(const MeasureArgs& args);
CommandError RefusalOf(const SettingError& error);
int MeasureExitCode(const MeasureError& error);
// Writes the files of --out, each one said on standard error; CommandError 2
// when it cannot.
void SavePositionsFiles(const PositionsResult& result, const std::string& folder);
