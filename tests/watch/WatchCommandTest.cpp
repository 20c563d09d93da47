// quenbar-cli watch against rx74-emulator --audio: programme material
// played into the unit's inputs, the room's microphone on input 1 of
// quenbar_mic.monitor and the unit's loopback of its input 1 on input 2.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numbers>
#include <optional>
#include <sstream>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/emulator/Programs.h"
#include "tests/watch/Programme.h"

namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

class Emulator : public EmulatorProcess {
public:
    Emulator() : EmulatorProcess({"--audio"})
    {
        if (device().empty()) ADD_FAILURE() << "rx74-emulator did not start";
    }
};

// The whole system as the microphone hears it from a mono programme: the
// sum of every output's truth, each at its arrival, at the truth's points.
struct SystemTruth {
    std::vector<double> hz, db;
    double leftArrivalMs = 0.0;
};

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

// The largest deviation of the live trace from the truth over 40 Hz ..
// 16 kHz, both over 1/12 octave (three live points), where the coherence
// of all three is above 0.8; and how many points were compared.
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

std::vector<std::string> WatchArgs(std::vector<std::string> more)
{
    std::vector<std::string> args{"watch", "--record", "quenbar_mic.monitor", "--json"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// 30 s of pink noise with pauses against the truth itself: the delay and
// the curve are the room's, and nothing alarms.
TEST(WatchCommand, PinkNoiseGivesTheRoomsCurveAndDelayAndNoAlarm)
{
    Emulator emulator;
    const SystemTruth truth = TruthOfTheSystem();
    const std::string stored = TempPath("truth.txt");
    {
        std::ofstream file(stored);
        for (std::size_t i = 0; i < truth.hz.size(); ++i) file << truth.hz[i] << ' ' << truth.db[i] << '\n';
    }
    const std::string saved = TempPath("live.txt");
    const Programme pink("pink");
    const CliRun run = RunCli(WatchArgs({"--seconds", "30", "--against", stored, "--save", saved}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<json> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 60u);  // more than twice a second
    for (const json& line : lines) EXPECT_EQ(line["alarms"].size(), 0u) << line["t"] << " s: " << line["alarms"];
    const json& last = lines.back();
    ASSERT_TRUE(last["delayMs"].is_number());
    EXPECT_NEAR(last["delayMs"].get<double>(), truth.leftArrivalMs, 0.1);
    const auto [largest, compared] = LargestDeviation(last, truth);
    EXPECT_LE(largest, 1.0);
    EXPECT_GT(compared, 150);  // of the 173 points from 40 Hz to 16 kHz
    EXPECT_NE(RunCli({"eq", "fit", saved, "lr"}).exitCode, 2);  // a measurement's text
}

// While music plays: a PEQ band set on the unit shows at its band within
// 2.5 s; a Sub muted shows as an alarm in the Sub's band.
TEST(WatchCommand, MusicShowsAPeqBandSetAndTheSubMutedAsAlarms)
{
    Emulator emulator;
    const std::string stored = TempPath("stored.txt");
    const Programme music("music");
    ASSERT_EQ(RunCli(WatchArgs({"--seconds", "12", "--save", stored})).exitCode, 0);
    const auto started = std::chrono::steady_clock::now();
    const CliProcess watching = StartCli(WatchArgs({"--seconds", "22", "--against", stored}));
    std::this_thread::sleep_for(6s);
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "lr", "peq", "1", "freq", "1kHz"}).exitCode, 0);
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "lr", "peq", "1", "gain", "6dB"}).exitCode, 0);
    // The gain reached the unit before its command returned: from here the
    // band is up (the stream's time runs behind the watch's start, so this errs late).
    const auto changed = std::chrono::steady_clock::now();
    const double changedAt = std::chrono::duration<double>(changed - started).count();
    std::this_thread::sleep_until(started + 12s);
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "lr", "peq", "1", "gain", "0dB"}).exitCode, 0);
    ASSERT_EQ(RunCli({"--port", emulator.device(), "set", "sub", "mute", "on"}).exitCode, 0);
    const CliRun run = FinishCli(watching);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<json> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    // The stream's time of the change: the watch started some time before the first line.
    const double start = lines.front()["t"].get<double>() - 0.4;
    std::optional<double> peqSeen;
    bool subSeen = false;
    for (const json& line : lines) {
        const double t = line["t"].get<double>() - start;
        for (const json& alarm : line["alarms"]) {
            const double hz = alarm["hz"];
            if (t < 12.0 && hz > 700.0 && hz < 1500.0 && alarm["deviationDb"].get<double>() > 3.0) {
                if (!peqSeen) peqSeen = t;
            } else if (t >= 12.0 && hz < 125.0) {
                subSeen = true;
            } else if (t < 6.0) {
                ADD_FAILURE() << "an alarm before any change: " << alarm;
            }
        }
    }
    ASSERT_TRUE(peqSeen.has_value());
    // The band is visible within 2 s: the curve at 1 kHz up by more than 3 dB
    // (the alarm follows once that has held for a second).
    const json& hz = lines.front()["hz"];
    std::size_t at1k = 0;
    for (std::size_t i = 0; i < hz.size(); ++i)
        if (std::abs(hz[i].get<double>() - 1000.0) < std::abs(hz[at1k].get<double>() - 1000.0)) at1k = i;
    std::optional<double> before, risen;
    for (const json& line : lines) {
        const double t = line["t"].get<double>() - start;
        const double db = line["db"][at1k];
        if (t <= changedAt - 0.5) before = db;
        if (before && !risen && t > changedAt - 0.5 && db > *before + 3.0) risen = t;
    }
    ASSERT_TRUE(before && risen);
    EXPECT_LE(*risen, changedAt + 2.0) << "the PEQ band showed late";
    EXPECT_TRUE(subSeen);
}

}  // namespace
