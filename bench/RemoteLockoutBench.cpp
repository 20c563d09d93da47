// A token holder of the network remote while 500 slow connections and 200
// idle push clients without the token, from the token holder's own address,
// crowd the server (127.0.0.1 with a token, so the rules beyond the local
// host apply): 100 `GET /api/state`, each on a connection of its own, then a
// change that must reach the emulated unit. Counters: the answers' p50, p99
// and max in ms, how many came within 1 s, and the attackers' connections
// opened during the tries.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/remote/LockoutAttack.h"
#include "tests/remote/RemoteRig.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kTries = 100;

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

void BM_TokenHolderUnderLockoutAttack(benchmark::State& state)
{
    for (auto _ : state) {
        RigOptions options;
        options.token = "lockout-bench-token-0123456789";
        ServerRig rig(options);
        const LockoutAttack attack("127.0.0.1", rig.Port(), AttackOptions{});
        if (!attack.WaitUntilAllOpened(30s)) return state.SkipWithError("the attackers could not connect");
        std::this_thread::sleep_for(2s);  // the slow heads under way
        const long openedBefore = attack.Opened();

        const RemoteClient holder = rig.Client();
        std::vector<double> ms;
        int answered = 0;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kTries; ++i) {
            const Clock::time_point sent = Clock::now();
            try {
                answered += holder.Get("/api/state").status == 200;
            } catch (const std::exception&) {
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        const long opened = attack.Opened() - openedBefore;
        HttpReply change;
        try {
            change = holder.Set("lr/gain", 90);
        } catch (const std::exception&) {
        }
        if (answered != kTries) return state.SkipWithError("a GET /api/state of the token holder failed");
        if (change.status != 200 || rig.unit.CurrentImage()[1] != 90)
            return state.SkipWithError("the token holder's change did not reach the unit");
        state.counters["p50_ms"] = Percentile(ms, 0.50);
        state.counters["p99_ms"] = Percentile(ms, 0.99);
        state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
        state.counters["within_1s"] =
            static_cast<double>(std::count_if(ms.begin(), ms.end(), [](double value) { return value <= 1000; }));
        state.counters["attacker_connections"] = static_cast<double>(opened);
    }
}
BENCHMARK(BM_TokenHolderUnderLockoutAttack)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
