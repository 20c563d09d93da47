#include "LiveTransfer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "FrequencyResponse.h"

namespace {

constexpr double kLowHz = 20.0;
constexpr double kHighHz = 20000.0;
constexpr int kPointsPerOctave = 24;
// A Hann window's noise bandwidth is 1.5 bins.
constexpr double kHannBins = 1.5;
// The window resolves half a point's band: a point then stands for its own
// 1/24 octave. A window as wide as the band made it nearer 1/12, and missed
// the peaks of a comb at the top (two loudspeakers' arrivals) by half a dB.
constexpr double kWindowsPerBand = 2.0;
// Below some 300 Hz that would double frames of a third of a second and
// more, and the averages there, which know their coherence only after
// several frames and follow a change (a Sub lost) over several, would take
// seconds longer: no frame longer than this for it; there the window is as
// wide as the band.
constexpr double kLongestFineFrameSeconds = 0.3;
// No frame shorter than this: a loudspeaker's own response (its crossover,
// its horn) lasts a few milliseconds, and a shorter frame would cut it.
constexpr double kShortestFrameSeconds = 0.010;
constexpr std::size_t kLongestLength = std::size_t{1} << 18;
// Within a point's band, a bin whose reference is this share of the
// loudest bin's (10 dB under it) weighs 1/2, the loudest 10/11.
constexpr double kQuietBinShare = 0.1;

// The shortest length whose window resolves 1 / kPointsPerOctave octave at
// hz into `windows` windows.
std::size_t LengthFor(double rate, double hz, double windows)
{
    const double bandHz = hz * (std::exp2(1.0 / kPointsPerOctave) - 1.0);
    const auto needed = static_cast<std::size_t>(std::ceil(windows * kHannBins * rate / bandHz));
    const auto shortest = static_cast<std::size_t>(std::ceil(kShortestFrameSeconds * rate));
    return std::min(PowerOfTwoAtLeast(std::max(needed, shortest)), kLongestLength);
}

std::size_t LengthFor(double rate, double hz)
{
    const std::size_t longestFine = PowerOfTwoAtLeast(static_cast<std::size_t>(kLongestFineFrameSeconds * rate));
    return std::max(std::min(LengthFor(rate, hz, kWindowsPerBand), longestFine), LengthFor(rate, hz, 1.0));
}

double Wrapped(double degrees)
{
    double d = std::remainder(degrees, 360.0);
    return d <= -180.0 ? d + 360.0 : d;
}

}  // namespace

double CoherentShare(const LiveTrace& trace)
{
    if (trace.coherence.empty()) return 0.0;
    const auto trusted = std::count_if(trace.coherence.begin(), trace.coherence.end(),
                                       [](double c) { return c >= kTrustedCoherence; });
    return static_cast<double>(trusted) / static_cast<double>(trace.coherence.size());
}

LiveTransfer::LiveTransfer(double rate, double averageSeconds) : rate_(rate)
{
    if (!(rate >= 8000.0)) throw std::invalid_argument("the live transfer function needs a rate of 8 kHz or more");
    if (!(averageSeconds > 0.0)) throw std::invalid_argument("the live transfer function needs an averaging time");
    std::vector<std::size_t> lengths;
    for (double hz : LogFrequencies(kLowHz, std::min(kHighHz, rate / 2.0), kPointsPerOctave)) {
        const std::size_t length = LengthFor(rate, hz);
        auto at = std::find(lengths.begin(), lengths.end(), length);
        if (at == lengths.end()) {
            lengths.push_back(length);
            spectra_.push_back(std::make_unique<DualChannelAverage>(length, rate, averageSeconds));
            at = lengths.end() - 1;
        }
        const auto index = static_cast<std::size_t>(at - lengths.begin());
        const double binHz = spectra_[index]->BinHz();
        const double half = std::exp2(0.5 / kPointsPerOctave);
        auto first = static_cast<std::size_t>(std::ceil(hz / half / binHz));
        auto last = static_cast<std::size_t>(std::floor(hz * half / binHz));
        if (first > last) first = last = static_cast<std::size_t>(std::lround(hz / binHz));
        last = std::min(last, length / 2);
        points_.push_back({hz, index, std::min(first, last), last});
    }
}

std::vector<std::size_t> LiveTransfer::Lengths() const
{
    std::vector<std::size_t> lengths;
    for (const auto& s : spectra_) lengths.push_back(s->Length());
    std::sort(lengths.begin(), lengths.end());
    return lengths;
}

void LiveTransfer::SetDelay(double seconds)
{
    delaySeconds_ = seconds;
    for (auto& s : spectra_) s->Reset();
    const auto samples = static_cast<std::size_t>(std::floor(std::abs(seconds) * rate_));
    reference_.clear();
    measured_.clear();
    (seconds >= 0.0 ? reference_ : measured_).assign(samples, 0.0f);
}

void LiveTransfer::Add(std::span<const float> reference, std::span<const float> measured)
{
    if (reference.size() != measured.size())
        throw std::invalid_argument("the live transfer function takes as many samples of each signal");
    reference_.insert(reference_.end(), reference.begin(), reference.end());
    measured_.insert(measured_.end(), measured.begin(), measured.end());
    Feed();
}

void LiveTransfer::Feed()
{
    const std::size_t ready = std::min(reference_.size(), measured_.size());
    if (ready == 0) return;
    const std::vector<float> x(reference_.begin(), reference_.begin() + static_cast<std::ptrdiff_t>(ready));
    const std::vector<float> y(measured_.begin(), measured_.begin() + static_cast<std::ptrdiff_t>(ready));
    reference_.erase(reference_.begin(), reference_.begin() + static_cast<std::ptrdiff_t>(ready));
    measured_.erase(measured_.begin(), measured_.begin() + static_cast<std::ptrdiff_t>(ready));
    for (auto& s : spectra_) s->Add(x, y);
}

LiveTrace LiveTransfer::Trace() const
{
    // The delay line holds whole samples; what is left of the delay turns
    // the phase, and is taken out here.
    const double whole = std::floor(std::abs(delaySeconds_) * rate_) / rate_;
    const double leftSeconds = delaySeconds_ >= 0.0 ? delaySeconds_ - whole : delaySeconds_ + whole;
    LiveTrace trace;
    for (const Point& p : points_) {
        const DualChannelAverage& s = *spectra_[p.spectra];
        double gxx = 0.0, gyy = 0.0, loudest = 0.0;
        std::complex<double> gxy;
        for (std::size_t k = p.firstBin; k <= p.lastBin; ++k) {
            gxx += s.Gxx()[k];
            gyy += s.Gyy()[k];
            gxy += s.Gxy()[k];
            loudest = std::max(loudest, s.Gxx()[k]);
        }
        // The point's magnitude is the mean power gain of its band's bins
        // (the mean of the complex H would cancel where the phase turns
        // within the band, as it does between two arrivals, and read low).
        // Bins the programme plays alike count alike, so that a note on a
        // slope of the curve does not pull the point its way; a bin far
        // quieter than the band's loudest counts as little as it knows.
        double gain = 0.0, weights = 0.0;
        for (std::size_t k = p.firstBin; k <= p.lastBin; ++k) {
            const double x = s.Gxx()[k];
            if (x <= 0.0) continue;
            const double weight = x / (x + kQuietBinShare * loudest);
            gain += weight * std::norm(s.Gxy()[k]) / (x * x);
            weights += weight;
        }
        const bool heard = gxx > 0.0 && gyy > 0.0;
        const bool known = heard && s.AveragedFrames() >= kLeastCoherenceFrames;
        const std::complex<double> h = heard ? gxy / gxx : std::complex<double>{};
        const double turn = 2.0 * std::numbers::pi * p.hz * leftSeconds;
        trace.hz.push_back(p.hz);
        trace.db.push_back(gain > 0.0 ? 10.0 * std::log10(gain / weights) : -200.0);
        trace.phaseDeg.push_back(Wrapped((std::arg(h) + turn) * 180.0 / std::numbers::pi));
        trace.coherence.push_back(known ? std::min(1.0, std::norm(gxy) / (gxx * gyy)) : 0.0);
        trace.known.push_back(known);
        // A Hann frame of n samples puts 3 n^2 / 16 of a sine's power in its bins.
        const double n = static_cast<double>(s.Length());
        const double referencePower = gxx * s.ReferencePower();
        trace.referenceDb.push_back(referencePower > 0.0 ? 10.0 * std::log10(referencePower / (3.0 * n * n / 16.0)) : -200.0);
    }
    return trace;
}
