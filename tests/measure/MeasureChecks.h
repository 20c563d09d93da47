// What the tests of a measurement against the emulated room share, whichever
// build measures: the emulator with its sound, the unit's state by the
// Linux quenbar-cli, and the figures measured against the room's truth.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"

using json = nlohmann::json;

// The measurement needs the emulator to start: a device line it printed.
class Emulator : public EmulatorProcess {
public:
    explicit Emulator(std::vector<std::string> args);
};

// The unit's whole state (quenbar-cli dump).
json Dump(const std::string& device);
std::string ReadText(const std::string& path);
// Waits until the program has written `text` to its standard error `times`
// times, for at most `seconds`.
bool WaitForErr(const CliProcess& process, const std::string& text, std::size_t times = 1, int seconds = 15);
// How often `part` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& part);

// The room's truth per output (rx74-emulator ROOM_ARGS --room-truth).
json RoomTruth(std::vector<std::string> roomArgs = {});
// The largest deviation from the truth over 30 Hz .. 16 kHz, where the
// truth stands within `rangeDb` of its peak, both smoothed over 1/`fraction` octave.
double LargestDeviationDb(const json& measured, const json& truth, double rangeDb, int fraction = 12);
const json& Output(const json& measurement, const std::string& name);
// The figures of one measurement of the four outputs against the room's
// truth (the right - left arrival within 0.05 ms, each response within
// 1 dB); empty when they all hold.
std::string FiguresMissed(const json& measured, const json& truth);
