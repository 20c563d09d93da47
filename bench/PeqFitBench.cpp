// The PEQ fit on synthetic measurements: each is the inverse of a random
// three-band setting the unit can hold, plus 0.3 dB of noise, so a perfect
// fit exists on the unit's steps. Reports the share of cases the fit brings
// within 0.5 dB RMS, the same for the continuous fit merely rounded to the
// nearest steps, and the time per fit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "tuning/PeqFit.h"

namespace {

constexpr int kCases = 200;
constexpr double kNoiseDb = 0.3;
constexpr double kGoodRmsDb = 0.5;
constexpr unsigned kSeed = 22;

int Uniform(std::mt19937& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

// Bands 40 Hz .. 16 kHz, 0.37 .. 3.6 octaves, a shelf in two of five, gains
// of at least 1 dB within the fit's default limits, all three together too.
PeqBands RandomSetting(std::mt19937& random)
{
    for (;;) {
        PeqBands bands{};
        for (PeqBand& band : bands) {
            band.flat = false;
            band.freq = Uniform(random, FreqIndexFromHz(40.0), FreqIndexFromHz(16000.0));
            band.bandwidth = Uniform(random, 24, kBandwidthStepWidest);
            const int shelf = Uniform(random, 0, 4);
            band.shelf = shelf == 0 ? Shelf::Low : shelf == 1 ? Shelf::High : Shelf::None;
            do band.gain = Uniform(random, kGainStepZero - 120, kGainStepZero + 60);
            while (std::abs(band.gain - kGainStepZero) < 10);
        }
        const ResponseCurve curve = PeqBandsCurve(bands);
        if (*std::max_element(curve.begin(), curve.end()) <= 6.0 &&
            *std::min_element(curve.begin(), curve.end()) >= -12.0)
            return bands;
    }
}

LevelCurve NoisyInverse(const PeqBands& setting, std::mt19937& random)
{
    std::normal_distribution<double> noise(0.0, kNoiseDb);
    const ResponseCurve curve = PeqBandsCurve(setting);
    LevelCurve m;
    for (int k = 0; k < kFreqSteps; ++k) {
        m.hz.push_back(FreqTable[k]);
        m.db.push_back(85.0 - curve[static_cast<std::size_t>(k)] + noise(random));
    }
    return m;
}

void BM_PeqFitSynthetic(benchmark::State& state)
{
    for (auto _ : state) {
        std::mt19937 random(kSeed);
        int good = 0, roundedGood = 0;
        std::vector<double> rms;
        double seconds = 0.0;
        for (int i = 0; i < kCases; ++i) {
            const LevelCurve m = NoisyInverse(RandomSetting(random), random);
            const auto start = std::chrono::steady_clock::now();
            const FitResult r = FitPeq(m);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            good += r.rmsAfterDb <= kGoodRmsDb;
            roundedGood += r.rmsRoundedDb <= kGoodRmsDb;
            rms.push_back(r.rmsAfterDb);
        }
        std::sort(rms.begin(), rms.end());
        state.counters["cases"] = kCases;
        state.counters["within_pct"] = 100.0 * good / kCases;
        state.counters["rounded_pct"] = 100.0 * roundedGood / kCases;
        state.counters["rms_p95_db"] = rms[static_cast<std::size_t>(kCases * 95 / 100)];
        state.counters["ms_per_fit"] = seconds * 1000.0 / kCases;
    }
}
BENCHMARK(BM_PeqFitSynthetic)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
