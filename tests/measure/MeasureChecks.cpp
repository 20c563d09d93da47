#include "MeasureChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/cli/CliRunner.h"

namespace {

using namespace std::chrono_literals;

// Power average over 1/`fraction` octave around each point.
std::vector<double> Smoothed(const json& hz, const json& db, int fraction)
{
    std::vector<double> result;
    for (double centre : hz) {
        double sum = 0;
        int count = 0;
        for (std::size_t i = 0; i < hz.size(); ++i) {
            const double at = hz[i];
            if (at < centre * std::pow(2.0, -0.5 / fraction) || at > centre * std::pow(2.0, 0.5 / fraction)) continue;
            sum += std::pow(10.0, db[i].get<double>() / 10);
            ++count;
        }
        result.push_back(10 * std::log10(sum / count));
    }
    return result;
}

}  // namespace

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

Emulator::Emulator(std::vector<std::string> args) : EmulatorProcess(std::move(args))
{
    if (device().empty()) ADD_FAILURE() << "rx74-emulator did not start";
}

json Dump(const std::string& device)
{
    const CliRun run = RunCli({"--port", device, "dump"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0 ? json::parse(run.out) : json();
}

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

bool WaitForErr(const CliProcess& process, const std::string& text, std::size_t times, int seconds)
{
    for (int i = 0; i < seconds * 20; ++i, std::this_thread::sleep_for(50ms))
        if (Occurrences(ReadText(process.errPath), text) >= times) return true;
    return false;
}

double LargestDeviationDb(const json& measured, const json& truth, double rangeDb, int fraction)
{
    const std::vector<double> ours = Smoothed(measured["hz"], measured["db"], fraction);
    const std::vector<double> theirs = Smoothed(truth["hz"], truth["db"], fraction);
    const double peak = *std::max_element(theirs.begin(), theirs.end());
    double largest = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const double hz = measured["hz"][i];
        if (hz >= 30 && hz <= 16000 && theirs[i] > peak - rangeDb)
            largest = std::max(largest, std::abs(ours[i] - theirs[i]));
    }
    return largest;
}

const json& Output(const json& measurement, const std::string& name)
{
    for (const json& output : measurement["outputs"])
        if (output["output"] == name) return output;
    static const json none;
    ADD_FAILURE() << "no " << name;
    return none;
}

std::string FiguresMissed(const json& measured, const json& truth)
{
    std::ostringstream missed;
    const double measuredDifference =
        Output(measured, "right")["arrivalMs"].get<double>() - Output(measured, "left")["arrivalMs"].get<double>();
    const double trueDifference = truth["right"]["arrivalMs"].get<double>() - truth["left"]["arrivalMs"].get<double>();
    if (std::abs(measuredDifference - trueDifference) > 0.05)
        missed << "right - left arrives " << measuredDifference << " ms, truly " << trueDifference << " ms. ";
    for (const auto& [name, rangeDb] : {std::pair{"left", 200.0}, {"right", 200.0}, {"sub", 30.0}}) {
        const double deviation = LargestDeviationDb(Output(measured, name), truth[name], rangeDb);
        if (deviation > 1.0) missed << name << " deviates " << deviation << " dB from the truth. ";
    }
    return missed.str();
}

json RoomTruth(std::vector<std::string> roomArgs)
{
    roomArgs.insert(roomArgs.begin(), RX74_EMULATOR_PROGRAM);
    roomArgs.push_back("--room-truth");
    const CliRun run = RunProgram(roomArgs);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0 ? json::parse(run.out)["outputs"] : json();
}
