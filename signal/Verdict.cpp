#include "Verdict.h"

#include <cstdio>

namespace {

std::string Format(const char* format, double a, double b = 0.0)
{
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string NoisyText(const std::vector<BandSnr>& noisy, double leastSnrDb)
{
    std::string text = "too noisy (SNR below " + Format("%g", leastSnrDb) + " dB):";
    for (std::size_t i = 0; i < noisy.size(); ++i)
        text += (i ? ", " : " ") + Format("%g Hz octave %.1f dB", noisy[i].nominalHz, noisy[i].snrDb);
    return text;
}

}  // namespace

const char* VerdictName(Verdict verdict)
{
    switch (verdict) {
        case Verdict::Ok:
            return "ok";
        case Verdict::NoSignal:
            return "no signal";
        case Verdict::Dropouts:
            return "dropouts";
        case Verdict::Slipped:
            return "slipped";
        case Verdict::Clipped:
            return "clipped";
        case Verdict::TooNoisy:
            return "too noisy";
    }
    return "?";
}

OutputVerdict JudgeOutput(const OutputChecks& checks, double leastSnrDb)
{
    OutputVerdict result;
    std::vector<std::string> faults;
    auto fault = [&](Verdict verdict, std::string text) {
        if (faults.empty()) result.verdict = verdict;
        faults.push_back(std::move(text));
    };
    if (!checks.signalFound) fault(Verdict::NoSignal, Format("no signal (peak %.1f dBFS)", checks.peakDbfs));
    if (checks.dropouts > 0) fault(Verdict::Dropouts, Format("%g dropouts while it played", checks.dropouts));
    if (checks.slipMs)
        fault(Verdict::Slipped, Format("the stream slipped %.3f ms against the run's other sweeps: arrival times "
                                       "cannot be trusted",
                                       *checks.slipMs));
    if (checks.clippedSamples > 0)
        fault(Verdict::Clipped, Format("clipped (%g samples at full scale, peak %.1f dBFS)",
                                       static_cast<double>(checks.clippedSamples), checks.peakDbfs));
    if (checks.signalFound) {
        for (const BandSnr& band : checks.snr)
            if (band.snrDb < leastSnrDb) result.noisyOctaves.push_back(band);
        if (!result.noisyOctaves.empty()) fault(Verdict::TooNoisy, NoisyText(result.noisyOctaves, leastSnrDb));
    }
    result.text = faults.empty() ? "ok" : faults.front();
    for (std::size_t i = 1; i < faults.size(); ++i) result.text += "; " + faults[i];
    return result;
}
