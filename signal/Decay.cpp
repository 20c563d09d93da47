#include "Decay.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "Fft.h"

namespace {

// The least power counted, for a floor of digital silence and a tail whose
// power lies below the noise's: 200 dB below full scale.
constexpr double kLeastPower = 1e-20;
// The part of the decay whose slope counts, as for a reverberation time
// from a level that starts loud enough (ISO 3382: from -5 dB).
constexpr double kSlopeStartDb = 5.0, kSlopeAboveFloorDb = 10.0, kLeastSlopeRangeDb = 10.0;

double PowerDb(double power) { return 10.0 * std::log10(std::max(power, kLeastPower)); }

// The mean power of each whole block.
std::vector<double> BlockPowers(std::span<const float> recording, std::size_t block)
{
    std::vector<double> powers;
    for (std::size_t at = 0; at + block <= recording.size(); at += block) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + block; ++i) sum += static_cast<double>(recording[i]) * recording[i];
        powers.push_back(sum / static_cast<double>(block));
    }
    return powers;
}

// The least-squares slope of the levels in dB over [first, end), per block.
double Slope(const std::vector<double>& levelsDb, std::size_t first, std::size_t end)
{
    const double n = static_cast<double>(end - first);
    double sumX = 0.0, sumY = 0.0, sumXx = 0.0, sumXy = 0.0;
    for (std::size_t i = first; i < end; ++i) {
        const double x = static_cast<double>(i);
        sumX += x;
        sumY += levelsDb[i];
        sumXx += x * x;
        sumXy += x * levelsDb[i];
    }
    return (n * sumXy - sumX * sumY) / (n * sumXx - sumX * sumX);
}

double Rt60Seconds(const std::vector<double>& powers, std::size_t inNoise, double noisePower, double blockSeconds)
{
    std::vector<double> tailDb;
    for (double p : powers) tailDb.push_back(PowerDb(p - noisePower));
    const double loudest = *std::max_element(tailDb.begin(), tailDb.begin() + static_cast<std::ptrdiff_t>(inNoise));
    const double floorDb = PowerDb(noisePower);
    std::size_t first = 0;
    while (first < inNoise && tailDb[first] > loudest - kSlopeStartDb) ++first;
    std::size_t end = first;
    while (end < inNoise && tailDb[end] >= floorDb + kSlopeAboveFloorDb) ++end;
    if (end < first + 3 || loudest - kSlopeStartDb - (floorDb + kSlopeAboveFloorDb) < kLeastSlopeRangeDb) return 0.0;
    const double slope = Slope(tailDb, first, end);
    return slope < 0.0 ? -60.0 / slope * blockSeconds : 0.0;
}

double HighPassGain(double hz, double cornerHz)
{
    return hz <= 0.0 ? 0.0 : 1.0 / std::sqrt(1.0 + std::pow(cornerHz / hz, 8.0));
}

// Zero-padded to twice the length, so that the end does not wrap onto the start.
std::vector<float> HighPassed(std::span<const float> samples, double rate, double cornerHz)
{
    if (samples.empty()) return {};
    const RealFft fft(PowerOfTwoAtLeast(2 * samples.size()));
    std::vector<std::complex<float>> bins = fft.Forward(samples);
    const double binHz = rate / static_cast<double>(fft.Size());
    for (std::size_t k = 0; k < bins.size(); ++k)
        bins[k] *= static_cast<float>(HighPassGain(static_cast<double>(k) * binHz, cornerHz));
    std::vector<float> filtered = fft.Inverse(bins);
    filtered.resize(samples.size());
    return filtered;
}

double Rms(std::span<const float> samples)
{
    double sum = 0.0;
    for (float sample : samples) sum += static_cast<double>(sample) * sample;
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

}  // namespace

Decay DecayIntoNoiseAbove(std::span<const float> recording, double noiseRms, double rate, double fromHz,
                          double leastSeconds, double mostSeconds)
{
    return DecayIntoNoise(HighPassed(recording, rate, fromHz), noiseRms, rate, leastSeconds, mostSeconds);
}

double RmsAbove(std::span<const float> samples, double rate, double fromHz)
{
    return Rms(HighPassed(samples, rate, fromHz));
}

Decay DecayIntoNoise(std::span<const float> recording, double noiseRms, double rate, double leastSeconds,
                     double mostSeconds)
{
    if (!(rate > 0.0)) throw std::invalid_argument("DecayIntoNoise: rate not above 0");
    if (!(noiseRms >= 0.0)) throw std::invalid_argument("DecayIntoNoise: negative noise");
    if (!(leastSeconds >= 0.0) || !(mostSeconds >= leastSeconds))
        throw std::invalid_argument("DecayIntoNoise: limits not 0 <= least <= most");

    const auto block = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(kDecayBlockSeconds * rate)));
    const double blockSeconds = static_cast<double>(block) / rate;
    const auto hold = static_cast<std::size_t>(std::ceil(kDecayHoldSeconds / blockSeconds - 1e-9));
    const std::vector<double> powers = BlockPowers(recording, block);
    const double noisePower = noiseRms * noiseRms;
    const double ceilingDb = PowerDb(noisePower) + kDecayMarginDb;

    // The start of the first run of `hold` blocks within the margin.
    std::size_t inNoise = powers.size(), run = 0;
    for (std::size_t i = 0; i < powers.size(); ++i) {
        run = PowerDb(powers[i]) <= ceilingDb ? run + 1 : 0;
        if (run == hold) {
            inNoise = i + 1 - hold;
            break;
        }
    }
    Decay decay;
    decay.seconds = inNoise == powers.size()
                        ? mostSeconds
                        : std::clamp(static_cast<double>(inNoise) * blockSeconds, leastSeconds, mostSeconds);
    if (inNoise > 0) decay.rt60Seconds = Rt60Seconds(powers, inNoise, noisePower, blockSeconds);
    return decay;
}
