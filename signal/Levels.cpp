#include "Levels.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Fft.h"

namespace {

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// The octaves by their exact centres, 1000 * 2^k, and the names they go by.
struct Octave {
    double centreHz;
    double nominalHz;
};
constexpr Octave kOctaves[] = {{15.625, 16}, {31.25, 31.5}, {62.5, 63},   {125, 125},   {250, 250},    {500, 500},
                               {1000, 1000}, {2000, 2000},  {4000, 4000}, {8000, 8000}, {16000, 16000}};

// The energy of `samples` in each octave (Parseval: the
// power of the FFT's bins in the band, over the transform's size).
std::vector<double> BandEnergies(std::span<const float> samples, double rate, const std::vector<Octave>& octaves)
{
    const RealFft fft(PowerOfTwoAtLeast(samples.size()));
    const std::vector<std::complex<float>> bins = fft.Forward(samples);
    const double binHz = rate / static_cast<double>(fft.Size());
    std::vector<double> energies;
    for (const Octave& octave : octaves) {
        double energy = 0.0;
        for (std::size_t k = 1; k < bins.size(); ++k) {
            const double hz = static_cast<double>(k) * binHz;
            if (hz >= octave.centreHz / std::sqrt(2.0) && hz < octave.centreHz * std::sqrt(2.0))
                energy += 2.0 * std::norm(std::complex<double>(bins[k]));
        }
        energies.push_back(energy / static_cast<double>(fft.Size()));
    }
    return energies;
}

}  // namespace

double PeakDbfs(std::span<const float> samples)
{
    double peak = 0.0;
    for (float v : samples) peak = std::max(peak, static_cast<double>(std::fabs(v)));
    return peak > 0.0 ? std::max(kSilenceDbfs, Db(peak)) : kSilenceDbfs;
}

std::size_t CountClipped(std::span<const float> samples, double thresholdDbfs)
{
    const double threshold = std::pow(10.0, thresholdDbfs / 20.0);
    return static_cast<std::size_t>(
        std::count_if(samples.begin(), samples.end(), [&](float v) { return std::fabs(v) >= threshold; }));
}

double LowestOctaveCentreHz(double lowHz)
{
    for (const Octave& octave : kOctaves)
        if (octave.centreHz >= lowHz) return octave.centreHz;
    throw std::invalid_argument("no octave reaches the band's low end");
}

std::vector<BandSnr> OctaveSnr(std::span<const float> signal, std::span<const float> noise, double rate, double lowHz,
                               double highHz)
{
    if (signal.empty() || noise.empty()) throw std::invalid_argument("the SNR needs a signal and a noise recording");
    std::vector<Octave> octaves;
    for (const Octave& octave : kOctaves)
        if (octave.centreHz >= lowHz && octave.centreHz <= highHz && octave.centreHz < rate / 2.0)
            octaves.push_back(octave);
    const std::vector<double> signalEnergy = BandEnergies(signal, rate, octaves);
    const std::vector<double> noiseEnergy = BandEnergies(noise, rate, octaves);
    const double lengthRatio = static_cast<double>(signal.size()) / static_cast<double>(noise.size());
    std::vector<BandSnr> bands;
    for (std::size_t i = 0; i < octaves.size(); ++i) {
        const double noisePart = noiseEnergy[i] * lengthRatio;
        // What the signal's recording holds beyond the noise; at least a
        // millionth of the noise, so that a band of noise alone reads -60 dB.
        const double sweepPart = std::max(signalEnergy[i] - noisePart, noisePart * 1e-6);
        BandSnr band;
        band.centreHz = octaves[i].centreHz;
        band.nominalHz = octaves[i].nominalHz;
        band.signalDb = 10.0 * std::log10(std::max(sweepPart, 1e-30));
        band.noiseDb = 10.0 * std::log10(std::max(noisePart, 1e-30));
        band.snrDb = band.signalDb - band.noiseDb;
        bands.push_back(band);
    }
    return bands;
}
