// The live analysis' cost: CPU time per second of audio at 48 kHz, with the
// trace and the alarms looked at five times a second as the faces do.
#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <vector>

#include "LiveAnalysis.h"

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kLook = 9600;  // 0.2 s
constexpr int kSeconds = 20;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_LiveAnalysis(benchmark::State& state)
{
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<float> reference(kSeconds * static_cast<std::size_t>(kRate)), measured(reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) reference[i] = noise(random);
    for (std::size_t i = 240; i < reference.size(); ++i) measured[i] = 0.5f * reference[i - 240] + 0.01f * noise(random);
    double cpu = 0.0;
    for (auto _ : state) {
        LiveAnalysis live(kRate, 1.0);
        live.SetStored(std::vector<double>(live.Points().size(), -6.0));
        const double start = CpuSeconds();
        for (std::size_t at = 0; at + kLook <= reference.size(); at += kLook) {
            live.Add(std::span(reference).subspan(at, kLook), std::span(measured).subspan(at, kLook));
            const LiveTrace trace = live.Trace();
            benchmark::DoNotOptimize(live.Alarms(trace));
        }
        cpu += CpuSeconds() - start;
    }
    state.counters["cpu_ms_per_audio_s"] = 1000.0 * cpu / (static_cast<double>(state.iterations()) * kSeconds);
}
BENCHMARK(BM_LiveAnalysis)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
