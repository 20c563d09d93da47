#include "tests/watch/WatchChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"

namespace {

// Pink noise and music made once for every test, four times their length.
const std::string& ProgrammeDirectory()
{
    static const std::string directory = [] {
        const std::string dir = TempPath("programme");
        EXPECT_EQ(RunProgram({"/bin/bash", QUENBAR_PROGRAMME_SCRIPT, dir}).exitCode, 0);
        for (const char* name : {"pink", "music"})
            EXPECT_EQ(RunProgram({"/usr/bin/sox", dir + "/" + name + ".wav", dir + "/" + name + "-long.wav", "repeat", "4"})
                          .exitCode,
                      0);
        return dir;
    }();
    return directory;
}

// The truth at hz: the live points lie on the truth's 1/48-octave grid
// (in the JSON to 0.01 Hz).
double TruthAt(const SystemTruth& truth, double hz)
{
    for (std::size_t i = 0; i < truth.hz.size(); ++i)
        if (std::abs(truth.hz[i] / hz - 1.0) < 1e-3) return truth.db[i];
    ADD_FAILURE() << "no truth at " << hz << " Hz";
    return 0.0;
}

double PowerMean(const std::vector<double>& db)
{
    double sum = 0.0;
    for (double d : db) sum += std::pow(10.0, d / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(db.size()));
}

}  // namespace

Programme::Programme(const std::string& name, const std::string& sink)
    : pid_(Spawn("/usr/bin/paplay", {"-d", sink, ProgrammeDirectory() + "/" + name + "-long.wav"}))
{
}

Programme::~Programme() { TerminateAndWait(pid_); }

SystemTruth TruthOfTheSystem()
{
    const CliRun run = RunProgram({RX74_EMULATOR_PROGRAM, "--room-truth"});
    EXPECT_EQ(run.exitCode, 0);
    const json outputs = json::parse(run.out)["outputs"];
    SystemTruth truth;
    truth.hz = outputs["left"]["hz"].get<std::vector<double>>();
    truth.leftArrivalMs = outputs["left"]["arrivalMs"];
    for (std::size_t i = 0; i < truth.hz.size(); ++i) {
        std::complex<double> sum;
        for (const char* name : {"left", "right", "sub"}) {
            const json& o = outputs[name];
            const double turn = o["phaseDeg"][i].get<double>() * std::numbers::pi / 180.0 -
                                2.0 * std::numbers::pi * truth.hz[i] * o["arrivalMs"].get<double>() / 1000.0;
            sum += std::polar(std::pow(10.0, o["db"][i].get<double>() / 20.0), turn);
        }
        truth.db.push_back(20.0 * std::log10(std::abs(sum)));
    }
    return truth;
}

std::pair<double, int> LargestDeviation(const json& look, const SystemTruth& truth)
{
    double largest = 0.0;
    int compared = 0;
    const auto& hz = look["hz"];
    for (std::size_t i = 1; i + 1 < hz.size(); ++i) {
        if (hz[i] < 40.0 || hz[i] > 16000.0) continue;
        std::vector<double> live, theirs;
        bool coherent = true;
        for (std::size_t k = i - 1; k <= i + 1; ++k) {
            coherent = coherent && look["coherence"][k].get<double>() > 0.8;
            live.push_back(look["db"][k]);
            theirs.push_back(TruthAt(truth, hz[k]));
        }
        if (!coherent) continue;
        ++compared;
        largest = std::max(largest, std::abs(PowerMean(live) - PowerMean(theirs)));
    }
    return {largest, compared};
}

std::vector<json> Lines(const std::string& out)
{
    std::vector<json> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) lines.push_back(json::parse(line));
    return lines;
}

