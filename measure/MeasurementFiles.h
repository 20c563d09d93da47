// A measurement kept as files, in a folder: for each output measured its
// response as the text `eq fit` reads (OUTPUT.txt: Hz, dB, phase in
// degrees) and its impulse response as a WAV file (OUTPUT-impulse.wav, 32-bit
// float at the measurement's rate), and summary.json with every output's
// verdict, arrival, levels and SNR per octave. An output whose sweep never
// reached the microphone has no response, and so no files but its entry.
// A measurement at several positions keeps each position so in a folder of
// its own (position-1, position-2, ...), and beside them per output the
// spatial average as the text `eq fit` reads (OUTPUT.txt: Hz, dB) and a
// summary.json of the averages.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Measurement.h"
#include "PositionsMeasurement.h"

class MeasurementFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The response as measurement text, led by comment lines naming what it is.
std::string MeasurementText(const MeasurementResult& measurement, const OutputResult& output);

// {"rate", "absoluteTime", "playDevice", "recordDevice", "sweepsSeconds",
// "sequenceSeconds", "outputs": [{"output",
// "verdict", "verdictText", "arrivalMs", "peakDbfs", "snrDb", "dropouts", "playedAgain",
// "octaves": [{"hz", "snrDb"}], and with curves "hz", "db", "phaseDeg"}]}.
nlohmann::ordered_json MeasurementSummaryJson(const MeasurementResult& measurement, bool curves);
// What `measure --json` prints and the remote answers: {"rate", "sweepsSeconds",
// "sequenceSeconds", "outputs": [{"output",
// "verdict", "playedAgain", "arrivalMs", "peakDbfs", "snrDb", "hz", "db", "phaseDeg"}]}.
nlohmann::ordered_json MeasurementResultJson(const MeasurementResult& measurement);

// What `measure --json` prints of several positions: {"rate", "positions": N,
// "outputs": [{"output", the average's "verdict", "arrivalMs", "peakDbfs",
// "snrDb", "hz", "db", "spreadDb", "positions": [{"verdict", "arrivalMs",
// "peakDbfs", "snrDb", "db", "phaseDeg"}]}]}; of one position
// MeasurementResultJson's document.
nlohmann::ordered_json PositionsResultJson(const PositionsResult& result);
// The averages alone: [{"output", "verdict", "verdictText", "hz", "db", "spreadDb"}].
nlohmann::ordered_json AveragesJson(const std::vector<OutputAverage>& averages);
// The spatial average as measurement text, led by comment lines naming it.
std::string AverageText(const PositionsResult& result, const OutputAverage& average);

// Writes the files into `folder` (made where missing) and returns their
// paths. Throws MeasurementFileError naming the file that cannot be written.
std::vector<std::filesystem::path> SaveMeasurement(const MeasurementResult& measurement,
                                                   const std::filesystem::path& folder);
// One position as SaveMeasurement; several as above.
std::vector<std::filesystem::path> SavePositions(const PositionsResult& result, const std::filesystem::path& folder);
