#include "tuning/FilterImport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/Units.h"

namespace {

// A gain a hair beyond the table's end (a rounded 12.0) still takes its last step.
constexpr double kLargestGainDb = 12.05;
// A file's value counts as kept when the step is this close to it.
constexpr double kSameFrequency = 0.005;  // share of the frequency
constexpr double kSameGainDb = 0.05;
constexpr double kSameOctaves = 0.01;  // share of the bandwidth

const ScaledSteps kFreqScale{Scale::Frequency, 0, kFreqStepHighest};
const ScaledSteps kPeqGainScale{Scale::PeqGain, kPeqGainStepMin, kPeqGainStepMax};
const ScaledSteps kLevelScale{Scale::Level, kGainStepMin, kGainStepMax};

double MainUnitValue(const ScaledSteps& steps, int step) { return UnitsOf(steps.scale)[0].valueOf(step); }
int NearestMainUnitStep(const ScaledSteps& steps, double value)
{
    return NearestStep(steps, UnitsOf(steps.scale)[0], value);
}

// The frequency steps of the audio band, 20 Hz .. 20 kHz.
struct AudioBand {
    int first = FreqIndexFromHz(20.0);
    int last = FreqIndexFromHz(20000.0) - 1;
};

std::vector<double> IdealCurve(const IdealFilter& filter)
{
    std::vector<double> curve(kFreqSteps);
    for (int k = 0; k < kFreqSteps; ++k) curve[static_cast<std::size_t>(k)] = IdealFilterDb(filter, FreqTable[k]);
    return curve;
}

double RmsOverBand(const std::vector<double>& curve)
{
    const AudioBand band;
    double sum = 0.0;
    for (int k = band.first; k <= band.last; ++k)
        sum += curve[static_cast<std::size_t>(k)] * curve[static_cast<std::size_t>(k)];
    return std::sqrt(sum / (band.last - band.first + 1));
}

// The shelf's frequency and bandwidth steps whose drawn curve is closest
// (least squares over the audio band) to the file's shelf.
void MatchShelf(PeqBand& band, const std::vector<double>& ideal)
{
    const BandShapes& shapes = BandShapes::Get();
    const AudioBand audio;
    const double gain = MainUnitValue(kPeqGainScale, band.gain);
    double best = std::numeric_limits<double>::infinity();
    for (int centre = 0; centre < kFreqSteps; ++centre) {
        for (int bandwidth = kBandwidthStepNarrowest; bandwidth <= kBandwidthStepWidest; ++bandwidth) {
            double sum = 0.0;
            for (int k = audio.first; k <= audio.last && sum < best; ++k) {
                const double d =
                    ideal[static_cast<std::size_t>(k)] - gain * shapes.At(bandwidth, band.shelf, centre, k);
                sum += d * d;
            }
            if (sum < best) {
                best = sum;
                band.freq = centre;
                band.bandwidth = bandwidth;
            }
        }
    }
}

std::string FileText(const FileFilter& f)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s %g Hz %+.1f dB Q %.3g", f.type.c_str(), f.filter->hz, f.filter->gainDb,
                  f.filter->q);
    return text;
}

struct Candidate {
    std::size_t line;  // index into the report
    PeqBand band;
    double effect;
};

// The band for a filter, or why it cannot have one.
std::optional<PeqBand> BandFor(const IdealFilter& f, std::string& why)
{
    if (f.hz < FreqTable[0] / (1 + kSameFrequency) || f.hz > FreqTable[kFreqStepHighest] * (1 + kSameFrequency)) {
        why = "out of the unit's range: frequency beyond " + RangeText(kFreqScale);
        return std::nullopt;
    }
    if (std::fabs(f.gainDb) > kLargestGainDb) {
        why = "out of the unit's range: gain beyond " + RangeText(kPeqGainScale);
        return std::nullopt;
    }
    PeqBand band;
    band.flat = false;
    band.freq = NearestMainUnitStep(kFreqScale, f.hz);
    band.gain = NearestMainUnitStep(kPeqGainScale, f.gainDb);
    band.bandwidth = BandwidthStepFromOctaves(OctavesFromQ(f.q));
    if (f.kind != FilterKind::Peak) {
        band.shelf = f.kind == FilterKind::LowShelf ? Shelf::Low : Shelf::High;
        MatchShelf(band, IdealCurve(f));
    }
    return band;
}

bool SameAsFile(const IdealFilter& f, const PeqBand& band)
{
    const bool sameWidth =
        band.shelf != Shelf::None ||
        std::fabs(*BandwidthOctaves(band.bandwidth) - OctavesFromQ(f.q)) <= kSameOctaves * OctavesFromQ(f.q);
    return std::fabs(FreqTable[band.freq] - f.hz) <= kSameFrequency * f.hz &&
           std::fabs(MainUnitValue(kPeqGainScale, band.gain) - f.gainDb) < kSameGainDb && sameWidth;
}

ImportLine PreampLine(const FilterFile& file, int fromStep, int toStep)
{
    char from[32];
    std::snprintf(from, sizeof from, "%+.1f dB", *file.preampDb);
    const bool same = std::fabs((toStep - fromStep) * 0.5 - *file.preampDb) < kSameGainDb;
    return {
        file.preampLine, "Preamp", same ? ImportOutcome::Kept : ImportOutcome::Changed,
        std::string(from) + " -> level " + StepText(Scale::Level, fromStep) + " to " + StepText(Scale::Level, toStep),
        -1};
}

double LargestDeviation(const FilterFile& file, const FilterImport& result, int levelStep)
{
    std::vector<double> ideal(kFreqSteps, file.preampDb.value_or(0.0));
    for (const FileFilter& f : file.filters) {
        if (!f.filter) continue;
        const std::vector<double> curve = IdealCurve(*f.filter);
        for (std::size_t k = 0; k < ideal.size(); ++k) ideal[k] += curve[k];
    }
    const ResponseCurve unit = PeqBandsCurve(result.bands);
    const double level = result.levelStep ? (*result.levelStep - levelStep) * 0.5 : 0.0;
    const AudioBand band;
    double largest = 0.0;
    for (int k = band.first; k <= band.last; ++k) {
        const auto i = static_cast<std::size_t>(k);
        largest = std::max(largest, std::fabs(ideal[i] - unit[i] - level));
    }
    return largest;
}

}  // namespace

FilterImport ImportFilters(const FilterFile& file, int levelStep)
{
    FilterImport result;
    std::vector<Candidate> candidates;
    for (const FileFilter& f : file.filters) {
        ImportLine line{f.line, f.text, ImportOutcome::Dropped, f.problem, -1};
        if (f.filter) {
            if (const std::optional<PeqBand> band = BandFor(*f.filter, line.detail)) {
                line.outcome = SameAsFile(*f.filter, *band) ? ImportOutcome::Kept : ImportOutcome::Changed;
                line.detail = FileText(f) + " -> " + PeqBandText(*band);
                candidates.push_back({result.lines.size(), *band, RmsOverBand(IdealCurve(*f.filter))});
            }
        }
        result.lines.push_back(std::move(line));
    }
    // The three largest effects keep their bands, in file order.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.effect > b.effect; });
    for (std::size_t i = kPeqBands; i < candidates.size(); ++i) {
        ImportLine& line = result.lines[candidates[i].line];
        line.outcome = ImportOutcome::Dropped;
        line.detail = "no band left: three filters have a larger effect";
    }
    candidates.resize(std::min<std::size_t>(candidates.size(), kPeqBands));
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.line < b.line; });
    for (std::size_t band = 0; band < candidates.size(); ++band) {
        result.bands[band] = candidates[band].band;
        result.lines[candidates[band].line].band = static_cast<int>(band);
    }
    if (file.preampDb) {
        result.levelStep = NearestMainUnitStep(kLevelScale, MainUnitValue(kLevelScale, levelStep) + *file.preampDb);
        const auto after = std::find_if(result.lines.begin(), result.lines.end(),
                                        [&file](const ImportLine& line) { return line.line > file.preampLine; });
        result.lines.insert(after, PreampLine(file, levelStep, *result.levelStep));
    }
    result.largestDeviationDb = LargestDeviation(file, result, levelStep);
    return result;
}

const char* ImportOutcomeWord(ImportOutcome outcome)
{
    switch (outcome) {
        case ImportOutcome::Kept:
            return "kept";
        case ImportOutcome::Changed:
            return "changed";
        case ImportOutcome::Dropped:
            break;
    }
    return "dropped";
}
