// A measurement kept as files, in a folder: for each output measured its
// response as the text `eq fit` reads (OUTPUT.txt: Hz, dB, phase in
// degrees) and its impulse response as a WAV file (OUTPUT-impulse.wav, 32-bit
// float at the measurement's rate), and summary.json with every output's
// verdict, arrival, levels and SNR per octave. An output whose sweep never
// reached the microphone has no response, and so no files but its entry.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Measurement.h"

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

// Writes the files into `folder` (made where missing) and returns their
// paths. Throws MeasurementFileError naming the file that cannot be written.
std::vector<std::filesystem::path> SaveMeasurement(const MeasurementResult& measurement,
                                                   const std::filesystem::path& folder);
