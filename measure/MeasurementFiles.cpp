#include "MeasurementFiles.h"

#include <cstdio>
#include <fstream>

#include "WavFile.h"

namespace {

using json = nlohmann::ordered_json;

std::string Point(double hz, double db, double phaseDeg)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.3f %.3f %.2f\n", hz, db, phaseDeg);
    return text;
}

void WriteText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) throw MeasurementFileError("Cannot write " + path.string() + ".");
}

void WriteImpulseWav(const std::filesystem::path& path, const ImpulseResponse& impulse)
{
    if (!WriteFloatWav(path, impulse.samples, static_cast<std::uint32_t>(impulse.rate)))
        throw MeasurementFileError("Cannot write " + path.string() + ".");
}

json OutputJson(const OutputResult& output, bool curves)
{
    json octaves = json::array();
    for (const BandSnr& band : output.snr) octaves.push_back({{"hz", band.nominalHz}, {"snrDb", band.snrDb}});
    json entry{{"output", OutputName(output.output)},
               {"verdict", VerdictName(output.verdict)},
               {"verdictText", output.verdictText},
               {"arrivalMs", output.arrivalMs},
               {"peakDbfs", output.peakDbfs},
               {"snrDb", output.snrDb ? json(*output.snrDb) : json(nullptr)},
               {"dropouts", output.dropouts},
               {"playedAgain", output.playedAgain},
               {"octaves", octaves}};
    if (curves) {
        entry["hz"] = output.response.hz;
        entry["db"] = output.response.db;
        entry["phaseDeg"] = output.response.phaseDeg;
    }
    return entry;
}

}  // namespace

std::string MeasurementText(const MeasurementResult& measurement, const OutputResult& output)
{
    std::string text = std::string("* Quenbar measurement of ") + OutputName(output.output) + ", " +
                       std::to_string(measurement.rate) + " Hz, verdict: " + output.verdictText + "\n";
    char levels[128];
    std::snprintf(levels, sizeof levels, "* arrival %.4f ms %s, peak %.1f dBFS\n", output.arrivalMs,
                  measurement.absoluteTime ? "from the loopback" : "on the sequence's time base", output.peakDbfs);
    text += levels;
    text += "* Hz dB phase(degrees)\n";
    const FrequencyResponse& response = output.response;
    for (std::size_t i = 0; i < response.hz.size(); ++i)
        text += Point(response.hz[i], response.db[i], response.phaseDeg[i]);
    return text;
}

json MeasurementSummaryJson(const MeasurementResult& measurement, bool curves)
{
    json outputs = json::array();
    for (const OutputResult& output : measurement.outputs) outputs.push_back(OutputJson(output, curves));
    return {{"rate", measurement.rate},
            {"absoluteTime", measurement.absoluteTime},
            {"playDevice", measurement.playDevice},
            {"recordDevice", measurement.recordDevice},
            {"sweepsSeconds", measurement.sweepsSeconds},
            {"sequenceSeconds", measurement.sequenceSeconds},
            {"outputs", outputs}};
}

json MeasurementResultJson(const MeasurementResult& measurement)
{
    json outputs = json::array();
    for (const OutputResult& output : measurement.outputs) {
        const json full = OutputJson(output, true);
        outputs.push_back({{"output", full["output"]},
                           {"verdict", full["verdict"]},
                           {"playedAgain", full["playedAgain"]},
                           {"arrivalMs", full["arrivalMs"]},
                           {"peakDbfs", full["peakDbfs"]},
                           {"snrDb", full["snrDb"]},
                           {"hz", full["hz"]},
                           {"db", full["db"]},
                           {"phaseDeg", full["phaseDeg"]}});
    }
    return {{"rate", measurement.rate},
            {"sweepsSeconds", measurement.sweepsSeconds},
            {"sequenceSeconds", measurement.sequenceSeconds},
            {"outputs", outputs}};
}

namespace {

json SnrJson(const std::optional<double>& snrDb) { return snrDb ? json(*snrDb) : json(nullptr); }

json PositionOutputJson(const OutputResult& output)
{
    return {{"verdict", VerdictName(output.verdict)},
            {"arrivalMs", output.arrivalMs},
            {"peakDbfs", output.peakDbfs},
            {"snrDb", SnrJson(output.snrDb)},
            {"db", output.response.db},
            {"phaseDeg", output.response.phaseDeg}};
}

json AverageJson(const PositionsResult& result, std::size_t index, bool curves)
{
    const OutputAverage& average = result.averages[index];
    json entry{{"output", OutputName(average.output)},
               {"verdict", VerdictName(average.verdict)},
               {"arrivalMs", average.arrivalMs},
               {"peakDbfs", average.peakDbfs},
               {"snrDb", SnrJson(average.snrDb)}};
    if (!curves) {
        entry["verdictText"] = average.verdictText;
        return entry;
    }
    entry["hz"] = average.response.hz;
    entry["db"] = average.response.db;
    entry["spreadDb"] = average.response.spreadDb;
    json positions = json::array();
    for (const MeasurementResult& position : result.positions)
        positions.push_back(PositionOutputJson(position.outputs.at(index)));
    entry["positions"] = positions;
    return entry;
}

json PositionsJson(const PositionsResult& result, bool curves)
{
    json outputs = json::array();
    for (std::size_t i = 0; i < result.averages.size(); ++i) outputs.push_back(AverageJson(result, i, curves));
    return {{"rate", result.positions.front().rate},
            {"positions", result.positions.size()},
            {"outputs", outputs}};
}

}  // namespace

json AveragesJson(const std::vector<OutputAverage>& averages)
{
    json list = json::array();
    for (const OutputAverage& average : averages)
        list.push_back({{"output", OutputName(average.output)},
                        {"verdict", VerdictName(average.verdict)},
                        {"verdictText", average.verdictText},
                        {"hz", average.response.hz},
                        {"db", average.response.db},
                        {"spreadDb", average.response.spreadDb}});
    return list;
}

json PositionsResultJson(const PositionsResult& result)
{
    if (result.positions.size() == 1) return MeasurementResultJson(result.positions.front());
    return PositionsJson(result, true);
}

std::string AverageText(const PositionsResult& result, const OutputAverage& average)
{
    std::string text = std::string("* Quenbar measurement of ") + OutputName(average.output) + ", " +
                       std::to_string(result.positions.front().rate) + " Hz, the mean power of " +
                       std::to_string(result.positions.size()) + " positions, verdict: " + average.verdictText + "\n";
    text += "* Hz dB\n";
    const SpatialAverage& curve = average.response;
    for (std::size_t i = 0; i < curve.hz.size(); ++i) {
        char point[64];
        std::snprintf(point, sizeof point, "%.3f %.3f\n", curve.hz[i], curve.db[i]);
        text += point;
    }
    return text;
}

std::vector<std::filesystem::path> SavePositions(const PositionsResult& result, const std::filesystem::path& folder)
{
    if (result.positions.size() == 1) return SaveMeasurement(result.positions.front(), folder);
    std::vector<std::filesystem::path> written;
    for (std::size_t k = 0; k < result.positions.size(); ++k) {
        const auto files = SaveMeasurement(result.positions[k], folder / ("position-" + std::to_string(k + 1)));
        written.insert(written.end(), files.begin(), files.end());
    }
    for (const OutputAverage& average : result.averages) {
        if (average.response.hz.empty()) continue;
        written.push_back(folder / (std::string(OutputName(average.output)) + ".txt"));
        WriteText(written.back(), AverageText(result, average));
    }
    written.push_back(folder / "summary.json");
    WriteText(written.back(), PositionsJson(result, false).dump(2) + "\n");
    return written;
}

std::vector<std::filesystem::path> SaveMeasurement(const MeasurementResult& measurement,
                                                   const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw MeasurementFileError("Cannot make the folder " + folder.string() + ": " + error.message() + ".");
    std::vector<std::filesystem::path> written;
    for (const OutputResult& output : measurement.outputs) {
        if (output.response.hz.empty()) continue;
        const std::string name = OutputName(output.output);
        written.push_back(folder / (name + ".txt"));
        WriteText(written.back(), MeasurementText(measurement, output));
        written.push_back(folder / (name + "-impulse.wav"));
        WriteImpulseWav(written.back(), output.impulse);
    }
    written.push_back(folder / "summary.json");
    WriteText(written.back(), MeasurementSummaryJson(measurement, false).dump(2) + "\n");
    return written;
}
