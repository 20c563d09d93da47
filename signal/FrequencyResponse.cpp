#include "FrequencyResponse.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "Fft.h"

namespace {

// The spectrum is read between bins: zero-padding to at least two seconds
// of samples puts its bins 0.5 Hz or closer, so that the lowest points'
// narrow bands fall between neighbouring bins on a smooth curve.
constexpr double kLeastSpectrumSeconds = 2.0;

// The spectrum of an impulse response referred to its own peak: the delay
// up to the peak taken out, so that the complex values turn slowly with
// frequency and an average over a band keeps their magnitude (referred to a
// time far from the peak they turn round within the band and cancel).
struct Spectrum {
    std::vector<std::complex<double>> bins;
    std::vector<double> power;
    double binHz = 0.0;
    double peakSeconds = 0.0;
};

std::size_t PeakIndex(const std::vector<float>& samples)
{
    const auto peak =
        std::max_element(samples.begin(), samples.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    return static_cast<std::size_t>(peak - samples.begin());
}

std::complex<double> Turn(double hz, double seconds) { return std::polar(1.0, -2.0 * std::numbers::pi * hz * seconds); }

Spectrum SpectrumOf(const ImpulseResponse& impulse)
{
    const std::size_t least = std::max<std::size_t>(4 * impulse.samples.size(),
                                                    static_cast<std::size_t>(kLeastSpectrumSeconds * impulse.rate));
    const RealFft fft(PowerOfTwoAtLeast(least));
    const std::vector<std::complex<float>> bins = fft.Forward(impulse.samples);
    Spectrum spectrum;
    spectrum.binHz = impulse.rate / static_cast<double>(fft.Size());
    const std::size_t peak = PeakIndex(impulse.samples);
    spectrum.peakSeconds = impulse.SecondsAt(static_cast<double>(peak));
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const double hz = static_cast<double>(k) * spectrum.binHz;
        // The transform's phase is that of the first sample's time: turned to the peak's.
        spectrum.bins.push_back(std::complex<double>(bins[k]) * Turn(hz, -static_cast<double>(peak) / impulse.rate));
        spectrum.power.push_back(std::norm(spectrum.bins.back()));
    }
    return spectrum;
}

// The mean over lowHz .. highHz of the values at the bins, joined by
// straight lines between them (the value at the middle for a band of no
// width).
template <typename T>
T BandMean(const std::vector<T>& values, double binHz, double lowHz, double highHz)
{
    const double last = static_cast<double>(values.size() - 1);
    const double a = std::clamp(lowHz / binHz, 0.0, last);
    const double b = std::clamp(highHz / binHz, 0.0, last);
    auto at = [&](double x) {
        const auto k = std::min(static_cast<std::size_t>(x), values.size() - 2);
        const double t = x - static_cast<double>(k);
        return values[k] * (1.0 - t) + values[k + 1] * t;
    };
    if (b - a < 1e-9) return at((a + b) / 2.0);
    T sum{};
    for (double x = a; x < b;) {
        const double next = std::min(b, std::floor(x) + 1.0);
        sum += (at(x) + at(next)) * ((next - x) / 2.0);
        x = next;
    }
    return sum / (b - a);
}

double WrappedDegrees(std::complex<double> value)
{
    const double degrees = std::arg(value) * 180.0 / std::numbers::pi;
    return degrees <= -180.0 ? degrees + 360.0 : degrees;
}

double Db(double power) { return 10.0 * std::log10(std::max(power, 1e-30)); }

void CheckFraction(int fraction)
{
    if (fraction < 1) throw std::invalid_argument("smoothing must be over 1 / 1 octave or finer");
}

void Append(FrequencyResponse& response, double hz, double power, std::complex<double> value)
{
    response.hz.push_back(hz);
    response.db.push_back(Db(power));
    response.phaseDeg.push_back(WrappedDegrees(value));
    response.values.push_back(value);
}

}  // namespace

std::vector<double> LogFrequencies(double lowHz, double highHz, int perOctave)
{
    if (!(lowHz > 0.0 && lowHz <= highHz) || perOctave < 1)
        throw std::invalid_argument("log frequencies need 0 < low <= high and at least one point an octave");
    std::vector<double> hz;
    for (int i = 0;; ++i) {
        const double f = lowHz * std::exp2(static_cast<double>(i) / perOctave);
        if (f > highHz * (1.0 + 1e-12)) break;
        hz.push_back(f);
    }
    return hz;
}

FrequencyResponse ResponseOf(const ImpulseResponse& impulse, const std::vector<double>& hz, int fraction,
                             double referenceSeconds)
{
    if (impulse.samples.empty()) throw std::invalid_argument("an empty impulse response has no frequency response");
    CheckFraction(fraction);
    if (std::any_of(hz.begin(), hz.end(), [&](double f) { return !(f > 0.0 && f <= impulse.rate / 2.0); }))
        throw std::invalid_argument("a response's frequencies must lie within 0 Hz .. half the rate");
    const Spectrum spectrum = SpectrumOf(impulse);
    const double halfBand = std::exp2(0.5 / fraction);
    FrequencyResponse response;
    for (double f : hz) {
        const double low = f / halfBand, high = f * halfBand;
        // The band's mean referred to the peak, then the delay from the reference to the peak put back.
        const std::complex<double> value =
            BandMean(spectrum.bins, spectrum.binHz, low, high) * Turn(f, spectrum.peakSeconds - referenceSeconds);
        Append(response, f, BandMean(spectrum.power, spectrum.binHz, low, high), value);
    }
    return response;
}

FrequencyResponse Smoothed(const FrequencyResponse& response, int fraction, double delaySeconds)
{
    CheckFraction(fraction);
    const std::vector<double>& hz = response.hz;
    const std::size_t n = hz.size();
    // The width in Hz each point stands for: half-way to its neighbours.
    std::vector<double> width(n);
    for (std::size_t i = 0; i < n; ++i)
        width[i] = ((i + 1 < n ? hz[i + 1] : hz[i]) - (i > 0 ? hz[i - 1] : hz[i])) / 2.0;
    if (n == 1) width[0] = 1.0;
    const double halfBand = std::exp2(0.5 / fraction);
    FrequencyResponse smoothed;
    for (std::size_t i = 0; i < n; ++i) {
        double power = 0.0, weights = 0.0;
        std::complex<double> value;
        for (std::size_t j = 0; j < n; ++j) {
            if (hz[j] < hz[i] / halfBand || hz[j] > hz[i] * halfBand) continue;
            power += width[j] * std::pow(10.0, response.db[j] / 10.0);
            value += width[j] * response.values[j] * Turn(hz[j], -delaySeconds);
            weights += width[j];
        }
        Append(smoothed, hz[i], power / weights, value / weights * Turn(hz[i], delaySeconds));
    }
    return smoothed;
}
