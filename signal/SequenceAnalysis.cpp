#include "SequenceAnalysis.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Arrival.h"
#include "Deconvolution.h"
#include "SweepSearch.h"

namespace {

// What is read for a sweep's levels: the sweep and its first decay.
constexpr double kLevelTailSeconds = 0.1;

std::span<const float> Segment(std::span<const float> recording, std::ptrdiff_t start, std::size_t length)
{
    const auto size = static_cast<std::ptrdiff_t>(recording.size());
    const std::ptrdiff_t first = std::clamp<std::ptrdiff_t>(start, 0, size);
    const std::ptrdiff_t end = std::clamp<std::ptrdiff_t>(start + static_cast<std::ptrdiff_t>(length), 0, size);
    return recording.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(end - first));
}

// An output of a low band alone is searched for in that band.
SweepSearch SearchFor(const PlayedSweep& played, std::size_t maxLatency, double rate)
{
    SweepSearch search;
    search.maxLatency = maxLatency;
    search.lowPassHz = played.arrivalLowPassHz;
    search.rate = rate;
    return search;
}

// The loopback's latency between samples: the arrival of its first sweep found.
std::optional<double> LoopbackLatency(const SequenceRecording& recording, std::span<const float> inverse)
{
    const Deconvolved deconvolved = Deconvolve(recording.loopback, inverse);
    SweepSearch search;
    for (std::size_t i = 0; i < recording.sweeps.size(); ++i) {
        const PlayedSweep& played = recording.sweeps[i];
        search.maxLatency = SearchReach(recording.sweeps, i, recording.maxLatency);
        const std::optional<FoundSweep> found = FindSweep(deconvolved, played.playOffset, search);
        if (!found) continue;
        const double rate = recording.sweep.rate;
        const auto zero = static_cast<double>(deconvolved.TimeZeroOf(played.playOffset));
        const ImpulseResponse impulse = CutImpulse(deconvolved, found->peak, zero, rate, TopsWindow());
        return ArrivalSeconds(impulse) * rate;
    }
    return std::nullopt;
}

std::optional<double> MicrophoneLatency(const SequenceRecording& recording,
                                        const std::vector<std::optional<FoundSweep>>& found)
{
    for (std::size_t i = 0; i < found.size(); ++i)
        if (found[i]) return static_cast<double>(found[i]->start) - static_cast<double>(recording.sweeps[i].playOffset);
    return std::nullopt;
}

void ReadLevels(OutputAnalysis& output, const SequenceRecording& recording, const PlayedSweep& played,
                std::ptrdiff_t latency)
{
    const std::size_t length = SweepLength(recording.sweep);
    const auto tail = static_cast<std::size_t>(kLevelTailSeconds * recording.sweep.rate);
    const auto start = output.found ? static_cast<std::ptrdiff_t>(output.found->start)
                                    : static_cast<std::ptrdiff_t>(played.playOffset) + latency;
    const std::span<const float> sweep = Segment(recording.microphone, start, length + tail);
    const std::span<const float> silence =
        Segment(recording.microphone, static_cast<std::ptrdiff_t>(played.silenceOffset) + latency,
                played.silenceLength ? played.silenceLength : length);
    output.peakDbfs = PeakDbfs(sweep);
    output.clippedSamples = CountClipped(sweep);
    if (!sweep.empty() && !silence.empty())
        output.snr = OctaveSnr(sweep.first(std::min(length, sweep.size())), silence, recording.sweep.rate,
                               played.band.lowHz, played.band.highHz);
}

// The window's fade-in kept clear of the second harmonic before the peak.
ImpulseWindowShape ClearOfHarmonics(ImpulseWindowShape shape, const SweepSettings& sweep)
{
    const double lead = HarmonicLeadSeconds(sweep.seconds, sweep.startHz, sweep.endHz, 2);
    shape.fadeInSeconds = std::min(shape.fadeInSeconds, 0.8 * lead);
    return shape;
}

void ReadImpulse(OutputAnalysis& output, const Deconvolved& deconvolved, const SequenceRecording& recording,
                 const PlayedSweep& played, double latency)
{
    const double rate = recording.sweep.rate;
    const double zero = static_cast<double>(deconvolved.TimeZeroOf(played.playOffset)) + latency;
    output.impulse =
        CutImpulse(deconvolved, output.found->peak, zero, rate, ClearOfHarmonics(played.window, recording.sweep));
    output.arrivalMs = 1000.0 * ArrivalSeconds(output.impulse, played.arrivalLowPassHz);
    output.response = ResponseOf(output.impulse, LogFrequencies(), recording.fraction);
}

}  // namespace

SequenceAnalysis AnalyseSequence(const SequenceRecording& recording)
{
    if (recording.fraction < 1 || recording.fraction > 48)
        throw std::invalid_argument("smoothing must be over 1/1 to 1/48 octave");
    if (!recording.loopback.empty() && recording.loopback.size() != recording.microphone.size())
        throw std::invalid_argument("the loopback must be as long as the microphone's recording");
    const std::vector<float> inverse = MakeInverseFilter(recording.sweep);
    const Deconvolved deconvolved = Deconvolve(recording.microphone, inverse);
    std::vector<std::optional<FoundSweep>> found;
    for (std::size_t i = 0; i < recording.sweeps.size(); ++i)
        found.push_back(FindSweep(deconvolved, recording.sweeps[i].playOffset,
                                  SearchFor(recording.sweeps[i], SearchReach(recording.sweeps, i, recording.maxLatency),
                                            recording.sweep.rate)));

    SequenceAnalysis analysis;
    if (!recording.loopback.empty()) analysis.latency = LoopbackLatency(recording, inverse);
    analysis.absoluteTime = analysis.latency.has_value();
    if (!analysis.latency) analysis.latency = MicrophoneLatency(recording, found);
    const double latency = analysis.latency.value_or(0.0);

    for (std::size_t i = 0; i < recording.sweeps.size(); ++i) {
        const PlayedSweep& played = recording.sweeps[i];
        OutputAnalysis output;
        output.found = found[i];
        ReadLevels(output, recording, played, std::llround(latency));
        if (output.found) ReadImpulse(output, deconvolved, recording, played, latency);
        output.verdict = JudgeOutput(
            {output.found.has_value(), output.peakDbfs, output.clippedSamples, played.dropouts, output.snr, played.slipMs});
        analysis.outputs.push_back(std::move(output));
    }
    return analysis;
}

std::size_t SearchReach(const std::vector<PlayedSweep>& sweeps, std::size_t index, std::size_t maxLatency)
{
    std::size_t next = sweeps[index].nextPlayOffset;
    // A sweep played again after the others has none kept after it.
    if (!next && index + 1 < sweeps.size() && sweeps[index + 1].playOffset > sweeps[index].playOffset)
        next = sweeps[index + 1].playOffset;
    if (!next) return maxLatency;
    return std::min(maxLatency, next - sweeps[index].playOffset - 1);
}

std::optional<std::size_t> FindLatencySoFar(std::span<const float> microphone, const SweepSettings& sweep,
                                            std::span<const float> inverse, const PlayedSweep& played,
                                            std::size_t maxLatency)
{
    if (played.playOffset >= microphone.size()) return std::nullopt;
    // Only the sweep's own stretch: the played offset is its start.
    const std::span<const float> stretch =
        Segment(microphone, static_cast<std::ptrdiff_t>(played.playOffset), SweepLength(sweep) + maxLatency);
    const std::optional<FoundSweep> found =
        FindSweep(Deconvolve(stretch, inverse), 0, SearchFor(played, maxLatency, sweep.rate));
    if (!found) return std::nullopt;
    return found->start;
}
