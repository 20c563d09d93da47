// Four emulated units (paced at 57600 baud) behind ser2net on 127.0.0.1,
// two raw and two with COM-port control, served by one in-process remote;
// 10 clients per unit, each changing the unit's level 10 times a second
// (-14 to +5.5 dB) through /api/units/NAME/..., first with every unit answering, then with
// the fourth gone silent (ser2net still in front of it), in turn. Counters per unit
// and phase (a: all answering, b: unit 4 silent): changes answered per
// second and the answers' p50 and p99 in ms; and the p99 of units 1-3 taken
// together in each phase, with their ratio (the goal: within 10 %), pooled
// over the rounds and as the median of the rounds' own ratios (a burst of the
// machine's other work weighs on one round only).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/remote/RemoteRig.h"
#include "tests/support/Ser2netRig.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kUnits = 4;
constexpr int kClientsPerUnit = 10;
constexpr auto kChangeInterval = 100ms;
constexpr auto kPhase = 4s;
// The phases alternate this many times, so that what else the machine does
// weighs on both alike.
constexpr int kRounds = 5;
constexpr int kLineBaud = 57600;
const char* const kNames[kUnits] = {"Raw-1", "Raw-2", "RFC2217-1", "RFC2217-2"};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

struct UnitResults {
    std::vector<double> answeredMs;  // the changes answered 200
    int failed = 0;
};

void Append(UnitResults& to, const UnitResults& from)
{
    to.answeredMs.insert(to.answeredMs.end(), from.answeredMs.begin(), from.answeredMs.end());
    to.failed += from.failed;
}

// Every client of every unit changing its level for one phase, added to `results`.
void RunPhase(std::uint16_t port, std::vector<UnitResults>& results)
{
    std::mutex mutex;
    std::vector<std::thread> clients;
    const Clock::time_point start = Clock::now();
    for (int unit = 0; unit < kUnits; ++unit)
        for (int client = 0; client < kClientsPerUnit; ++client)
            clients.emplace_back([&, unit, client] {
                const RemoteClient remote("127.0.0.1", port);
                const std::string path = std::string("/api/units/") + kNames[unit] + "/settings/lr/gain";
                // Spread over the interval, so that the clients do not all start at once.
                Clock::time_point next = start + kChangeInterval * client / kClientsPerUnit;
                for (int change = 0; next < start + kPhase; ++change, next += kChangeInterval) {
                    std::this_thread::sleep_until(next);
                    const Clock::time_point sent = Clock::now();
                    int status = 0;
                    try {
                        status = remote.PutJson(path, {{"value", 100 + (client + change) % 40}}).status;
                    } catch (const std::exception&) {
                    }
                    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                    const std::lock_guard lock(mutex);
                    if (status == 200)
                        results[unit].answeredMs.push_back(ms);
                    else
                        ++results[unit].failed;
                }
            });
    for (std::thread& client : clients) client.join();
}

bool Connected(const RemoteClient& client, int unit)
{
    for (int wait = 0; wait < 200; ++wait) {
        if (client.Get("/api/units/" + std::to_string(unit))
                .Json()["link"]["state"] == "connected")
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// The p99 of units 1-3 together.
double AnsweringP99(const std::vector<UnitResults>& results)
{
    std::vector<double> answering;
    for (int unit = 0; unit < kUnits - 1; ++unit)
        answering.insert(answering.end(), results[unit].answeredMs.begin(), results[unit].answeredMs.end());
    return Percentile(answering, 0.99);
}

void Report(benchmark::State& state, const std::string& phase, const std::vector<UnitResults>& results)
{
    const double seconds = kRounds * std::chrono::duration<double>(kPhase).count();
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::vector<double>& ms = results[unit].answeredMs;
        const std::string prefix = phase + "_u" + std::to_string(unit + 1);
        state.counters[prefix + "_per_s"] = static_cast<double>(ms.size()) / seconds;
        state.counters[prefix + "_p50_ms"] = Percentile(ms, 0.50);
        state.counters[prefix + "_p99_ms"] = Percentile(ms, 0.99);
        state.counters[prefix + "_failed"] = results[unit].failed;
    }
    state.counters[phase + "_u123_p99_ms"] = AnsweringP99(results);
}

void BM_FourUnitsThroughSer2net(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<std::unique_ptr<Rx74Emulator>> units;
        std::vector<std::unique_ptr<Ser2netRig>> servers;
        ServeOptions options{{}, "127.0.0.1", 0, "", {}};
        for (int unit = 0; unit < kUnits; ++unit) {
            units.push_back(std::make_unique<Rx74Emulator>(EmulatorFaults{.paceBaud = kLineBaud}));
            if (!units.back()->Start()) return state.SkipWithError("no emulated unit");
            servers.push_back(std::make_unique<Ser2netRig>(units.back()->DevicePath()));
            if (!servers.back()->Start()) return state.SkipWithError(servers.back()->Problem().c_str());
            const bool comPort = unit >= kUnits / 2;
            options.units.push_back(
                {kNames[unit], comPort ? servers.back()->ComPortAddress() : servers.back()->RawAddress()});
        }
        RemoteServer server(options);
        std::thread runner([&server] { server.Run(); });

        std::vector<UnitResults> all(kUnits), oneSilent(kUnits);
        std::vector<double> roundRatios;
        const RemoteClient client("127.0.0.1", server.Port());
        bool back = true;
        for (int round = 0; round < kRounds && back; ++round) {
            units.back()->SetFaults({.paceBaud = kLineBaud});
            back = Connected(client, kUnits);
            if (!back) break;
            std::vector<UnitResults> roundAll(kUnits), roundSilent(kUnits);
            RunPhase(server.Port(), roundAll);
            units.back()->SetFaults({.silent = true, .paceBaud = kLineBaud});
            RunPhase(server.Port(), roundSilent);
            roundRatios.push_back(AnsweringP99(roundSilent) / AnsweringP99(roundAll));
            for (int unit = 0; unit < kUnits; ++unit) {
                Append(all[unit], roundAll[unit]);
                Append(oneSilent[unit], roundSilent[unit]);
            }
        }
        server.Stop();
        runner.join();
        if (!back) return state.SkipWithError("the fourth unit did not come back");

        Report(state, "a", all);
        Report(state, "b", oneSilent);
        state.counters["b_vs_a_u123_p99"] = state.counters["b_u123_p99_ms"] / state.counters["a_u123_p99_ms"];
        state.counters["b_vs_a_u123_p99_median_of_rounds"] = Percentile(roundRatios, 0.5);
        state.SetIterationTime(2 * kRounds * std::chrono::duration<double>(kPhase).count());
    }
}
BENCHMARK(BM_FourUnitsThroughSer2net)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
