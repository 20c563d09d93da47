#include "tuning/PeqFit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "tuning/NelderMead.h"
#include "tuning/TuningText.h"

namespace {

constexpr int kSmoothingPoints = 13;  // across the 1/6-octave window
constexpr double kSmoothingOctaves = 1.0 / 6.0;
constexpr int kDipHalfWidth = 6;        // steps (36 to the octave): a 1/3-octave closing
constexpr double kLimitSlackDb = 0.05;  // the step curve may touch a limit
constexpr int kLowestCentre = kFreqStepLowestPeq;
constexpr int kNeighbourSteps = 3;  // how far the step search looks around each band
constexpr int kContinuousEvaluations = 3000;
constexpr double kNoCost = std::numeric_limits<double>::infinity();

// The sum of squares about the mean: the error once the level follows.
double SpreadSquares(const std::vector<double>& x)
{
    const double mean = Mean(x);
    double sum = 0.0;
    for (const double v : x) sum += (v - mean) * (v - mean);
    return sum;
}

double SumOfSquares(const std::vector<double>& x)
{
    return std::inner_product(x.begin(), x.end(), x.begin(), 0.0);
}

// The error's squares: about its mean while the level follows, else as they are.
double Squares(const std::vector<double>& x, bool levelFollows)
{
    return levelFollows ? SpreadSquares(x) : SumOfSquares(x);
}

double Rms(const std::vector<double>& x, bool levelFollows)
{
    return std::sqrt(Squares(x, levelFollows) / static_cast<double>(x.size()));
}

// Fills dips narrower than the window: the largest value around each point,
// then the smallest of those.
std::vector<double> FillNarrowDips(const std::vector<double>& x)
{
    const auto pass = [](const std::vector<double>& in, auto pick) {
        std::vector<double> out(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            const std::size_t from = i >= kDipHalfWidth ? i - kDipHalfWidth : 0;
            const std::size_t to = std::min(in.size() - 1, i + kDipHalfWidth);
            out[i] =
                *pick(in.begin() + static_cast<std::ptrdiff_t>(from), in.begin() + static_cast<std::ptrdiff_t>(to) + 1);
        }
        return out;
    };
    const auto largest = [](auto a, auto b) { return std::max_element(a, b); };
    const auto smallest = [](auto a, auto b) { return std::min_element(a, b); };
    return pass(pass(x, largest), smallest);
}

double GainDb(const PeqBand& band) { return (band.gain - kGainStepZero) * 0.1; }

// What the fit works on: the error to remove at the range's steps, and the limits.
struct Problem {
    int first = 0;
    std::vector<double> error;  // measurement less target, narrow dips filled
    int lowestGain = kGainStepZero;
    int highestGain = kGainStepZero;
    double maxBoostDb = 0.0;  // of any band
    double maxCutDb = 0.0;
    std::vector<double> boostDb, cutDb;  // of the bands together, at each of the range's steps
    bool levelFollows = true;
    const BandCurves* curves = nullptr;

    std::size_t Count() const { return error.size(); }
    int StepAt(std::size_t i) const { return first + static_cast<int>(i); }
    // How far the bands together at the range's step i are beyond its limits; 0 within them.
    double Excess(std::size_t i, double peqDb) const { return std::max({0.0, peqDb - boostDb[i], -cutDb[i] - peqDb}); }
    bool WithinLimits(std::size_t i, double peqDb) const { return Excess(i, peqDb) <= kLimitSlackDb; }
};

// The bands' curve at the range's steps.
std::vector<double> BandsAt(const Problem& p, const PeqBands& bands, int leaveOut = -1)
{
    std::vector<double> peq(p.Count(), 0.0);
    for (int b = 0; b < kPeqBands; ++b) {
        const PeqBand& band = bands[static_cast<std::size_t>(b)];
        if (b != leaveOut && !band.flat) p.curves->Add(ShapeOf(band), p.first, peq);
    }
    return peq;
}

double Cost(const Problem& p, const PeqBands& bands)
{
    std::vector<double> total = BandsAt(p, bands);
    for (std::size_t i = 0; i < total.size(); ++i) {
        if (!p.WithinLimits(i, total[i])) return kNoCost;
        total[i] += p.error[i];
    }
    return Squares(total, p.levelFollows);
}

struct Neighbourhood {
    int lowCentre, highCentre, narrowest, widest;
};

// The gain step nearest `wanted` (on its side of 0 dB) at which the band
// keeps the bands together within the limits at every step of the range:
// the band shallower where a limit would otherwise refuse it outright.
int WithinLimitsStep(const Problem& p, const std::vector<double>& others, const UnitShapeRow& shape, int centre,
                     int wanted)
{
    const double g = (wanted - kGainStepZero) * 0.1;
    double reach = g;
    for (std::size_t i = 0; i < others.size(); ++i) {
        const double s = shape.At(centre, p.StepAt(i));
        if (std::fabs(s) < 1e-12) continue;
        const double bound = g * s > 0.0 ? (p.boostDb[i] + kLimitSlackDb - others[i]) / s
                                         : (-p.cutDb[i] - kLimitSlackDb - others[i]) / s;
        reach = g > 0.0 ? std::min(reach, bound) : std::max(reach, bound);
    }
    if (reach * g <= 0.0) return kGainStepZero;
    return kGainStepZero + static_cast<int>(std::trunc(reach * 10.0 + (g > 0.0 ? 1e-9 : -1e-9)));
}

// The best place for band `b` with the other bands held: every centre,
// bandwidth and shelf setting of the neighbourhood with the gain step that
// removes the most. The band as it is when nothing better is found.
PeqBand BestBand(const Problem& p, const PeqBands& bands, int b, const Neighbourhood& n)
{
    const BandCurves& shapes = *p.curves;
    const std::vector<double> others = BandsAt(p, bands, b);
    std::vector<double> e(p.Count());
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = p.error[i] + others[i];
    const double count = static_cast<double>(e.size());
    const double eSum = std::accumulate(e.begin(), e.end(), 0.0);
    PeqBand best = bands[static_cast<std::size_t>(b)];
    double bestCost = Cost(p, bands);
    const double base = Squares(e, p.levelFollows);
    // With the level following, the band's curve and the error count about their means.
    const double aboutMean = p.levelFollows ? 1.0 : 0.0;
    for (int centre = std::max(n.lowCentre, kLowestCentre); centre <= std::min(n.highCentre, kFreqStepHighest);
         ++centre)
        for (int width = std::max(n.narrowest, kBandwidthStepNarrowest);
             width <= std::min(n.widest, kBandwidthStepWidest); ++width)
            for (const Shelf shelf : {Shelf::None, Shelf::Low, Shelf::High}) {
                const UnitShapeRow shape = shapes.UnitShape(width, shelf);
                double s1 = 0.0, s2 = 0.0, es = 0.0;
                for (std::size_t i = 0; i < e.size(); ++i) {
                    const double s = shape.At(centre, p.StepAt(i));
                    s1 += s;
                    s2 += s * s;
                    es += e[i] * s;
                }
                const double covariance = es - aboutMean * eSum * s1 / count;
                const double variance = s2 - aboutMean * s1 * s1 / count;
                if (variance <= 1e-12) continue;
                const int wanted =
                    std::clamp(kGainStepZero + static_cast<int>(std::lround(-covariance / variance * 10.0)),
                               p.lowestGain, p.highestGain);
                const int step = WithinLimitsStep(p, others, shape, centre, wanted);
                const double g = (step - kGainStepZero) * 0.1;
                const double cost = base + 2.0 * g * covariance + g * g * variance;
                if (cost >= bestCost - 1e-9 || step == kGainStepZero) continue;
                bestCost = cost;
                best = PeqBand{centre, step, width, shelf, false};
            }
    return best;
}

const Neighbourhood kEverywhere{kLowestCentre, kFreqStepHighest, kBandwidthStepNarrowest, kBandwidthStepWidest};

// Each band in turn takes the place, width, shelf and gain that remove the
// most of what is left: anywhere, or as a bell on the largest deviation left.
PeqBands Greedy(const Problem& p, bool onLargestDeviation)
{
    PeqBands bands{};
    for (int b = 0; b < kPeqBands; ++b) {
        Neighbourhood where = kEverywhere;
        if (onLargestDeviation) {
            const std::vector<double> peq = BandsAt(p, bands);
            std::vector<double> left(p.Count());
            for (std::size_t i = 0; i < left.size(); ++i) left[i] = p.error[i] + peq[i];
            const double mean = p.levelFollows ? Mean(left) : 0.0;
            const auto largest = std::max_element(left.begin(), left.end(), [mean](double x, double y) {
                return std::fabs(x - mean) < std::fabs(y - mean);
            });
            const int step = p.StepAt(static_cast<std::size_t>(largest - left.begin()));
            where = {step, step, kBandwidthStepNarrowest, kBandwidthStepWidest};
        }
        bands[static_cast<std::size_t>(b)] = BestBand(p, bands, b, where);
    }
    return bands;
}

// Each band in turn moves to the best steps around it (anywhere, for a
// flat band or when `anywhere`) until none improves.
PeqBands MoveBands(const Problem& p, PeqBands bands, bool anywhere)
{
    double cost = Cost(p, bands);
    for (bool improved = true; improved;) {
        improved = false;
        for (int b = 0; b < kPeqBands; ++b) {
            const PeqBand& band = bands[static_cast<std::size_t>(b)];
            const Neighbourhood around =
                band.flat || anywhere
                    ? kEverywhere
                    : Neighbourhood{band.freq - kNeighbourSteps, band.freq + kNeighbourSteps,
                                    band.bandwidth - kNeighbourSteps, band.bandwidth + kNeighbourSteps};
            PeqBands trial = bands;
            trial[static_cast<std::size_t>(b)] = BestBand(p, bands, b, around);
            const double trialCost = Cost(p, trial);
            if (trialCost < cost - 1e-9) {
                bands = trial;
                cost = trialCost;
                improved = true;
            }
        }
    }
    return bands;
}

// The bands between the steps: centre, bandwidth and gain of each band that
// is not flat, three numbers a band.
struct Continuous {
    const Problem& p;
    PeqBands shape;  // which bands take part, and their shelf settings

    std::vector<double> Start() const
    {
        // Pushed one by one: GCC 12 at -O3 warns of an overflow (a false
        // stringop-overflow) in the insert of a list.
        std::vector<double> x;
        x.reserve(3 * shape.size());
        for (const PeqBand& band : shape) {
            if (band.flat) continue;
            x.push_back(double(band.freq));
            x.push_back(double(band.bandwidth));
            x.push_back(GainDb(band));
        }
        return x;
    }

    std::vector<PeqBandShape> Bands(const std::vector<double>& x) const
    {
        std::vector<PeqBandShape> out;
        std::size_t i = 0;
        for (const PeqBand& band : shape) {
            if (band.flat) continue;
            out.push_back({std::clamp(x[i], double(kLowestCentre), double(kFreqStepHighest)),
                           std::clamp(x[i + 1], double(kBandwidthStepNarrowest), double(kBandwidthStepWidest)),
                           std::clamp(x[i + 2], -p.maxCutDb, p.maxBoostDb), band.shelf == Shelf::Low,
                           band.shelf == Shelf::High});
            i += 3;
        }
        return out;
    }

    double operator()(const std::vector<double>& x) const
    {
        std::vector<double> curve(p.Count(), 0.0);
        p.curves->AddAll(Bands(x), p.first, curve);
        std::vector<double> total(p.Count());
        double excess = 0.0;
        for (std::size_t i = 0; i < total.size(); ++i) {
            const double peq = curve[i];
            excess += std::pow(p.Excess(i, peq), 2);
            total[i] = p.error[i] + peq;
        }
        return Squares(total, p.levelFollows) + 1000.0 * excess;
    }

    // The nearest steps of a point.
    PeqBands Rounded(const std::vector<double>& x) const
    {
        PeqBands bands = shape;
        const std::vector<PeqBandShape> between = Bands(x);
        std::size_t i = 0;
        for (PeqBand& band : bands) {
            if (band.flat) continue;
            band.freq = static_cast<int>(std::lround(between[i].centreStep));
            band.bandwidth = static_cast<int>(std::lround(between[i].bandwidthStep));
            band.gain = std::clamp(kGainStepZero + static_cast<int>(std::lround(between[i].gainDb * 10.0)),
                                   p.lowestGain, p.highestGain);
            ++i;
        }
        return bands;
    }
};

PeqBands RoundedContinuousFit(const Problem& p, const PeqBands& start)
{
    const Continuous continuous{p, start};
    const std::vector<double> x0 = continuous.Start();
    if (x0.empty()) return start;
    std::vector<double> step;
    for (std::size_t i = 0; i < x0.size(); i += 3) step.insert(step.end(), {3.0, 2.0, 1.0});
    return continuous.Rounded(MinimiseNelderMead(continuous, x0, step, kContinuousEvaluations));
}

struct Range {
    int first = 0;
    int last = -1;
};

// The range's steps that the measurement (and the target) cover.
Range CoveredSteps(const LevelCurve& measurement, const FitOptions& options)
{
    Range range;
    range.first = FreqIndexFromHz(options.lowHz);
    range.last = FreqIndexFromHz(options.highHz);
    if (FreqTable[range.last] > options.highHz) --range.last;
    const auto coveredByAll = [&](int k) {
        return SmoothedAtStep(measurement, k) && (!options.target || SmoothedAtStep(*options.target, k));
    };
    while (range.first <= range.last && !coveredByAll(range.first)) ++range.first;
    while (range.last >= range.first && !coveredByAll(range.last)) --range.last;
    const int count = range.last - range.first + 1;
    if (count < kFitLeastSteps)
        throw TuningFileError(0, "the measurement covers " + std::to_string(std::max(count, 0)) +
                                     " of the unit's frequency steps in the range (at least " +
                                     std::to_string(kFitLeastSteps) + " needed)");
    return range;
}

void CheckOptions(const FitOptions& o)
{
    if (!(o.lowHz > 0.0) || !(o.highHz > o.lowHz)) throw std::invalid_argument("the range must rise from above 0 Hz");
    if (!(o.maxBoostDb >= 0.0) || !(o.maxCutDb >= 0.0)) throw std::invalid_argument("the limits must be 0 dB or more");
    for (const std::vector<double>* atSteps : {&o.boostLimitAtStep, &o.cutLimitAtStep}) {
        if (!atSteps->empty() && atSteps->size() != static_cast<std::size_t>(kFreqSteps))
            throw std::invalid_argument("the limits at the steps must be one a step");
        if (std::any_of(atSteps->begin(), atSteps->end(), [](double db) { return !(db >= 0.0); }))
            throw std::invalid_argument("the limits must be 0 dB or more");
    }
}

std::vector<double> SmoothedOver(const LevelCurve& m, const Range& range)
{
    std::vector<double> curve;
    for (int k = range.first; k <= range.last; ++k) curve.push_back(*SmoothedAtStep(m, k));
    return curve;
}

// The error left by the bands, with the target's level following the result.
double RmsAfter(const FitResult& r, const Problem& p, const PeqBands& bands, std::vector<double>* predicted = nullptr,
                std::vector<double>* target = nullptr)
{
    const std::vector<double> peq = BandsAt(p, bands);
    std::vector<double> after(r.measured.size()), error(r.measured.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        after[i] = r.measured[i] + peq[i];
        error[i] = after[i] - r.target[i];
    }
    if (predicted) *predicted = after;
    if (target && p.levelFollows) {
        const double offset = Mean(error);
        for (double& t : *target) t += offset;
    }
    return Rms(error, p.levelFollows);
}

// A band at 0 dB adds nothing to the curve, bell or shelf alike: it is
// written flat, as a band the fit did not use, and the unit's band with it.
PeqBands SilentBandsFlat(PeqBands bands)
{
    for (PeqBand& band : bands)
        if (band.gain == kGainStepZero) band = PeqBand{};
    return bands;
}

// The measurement less the target over the range; with `result`, which
// holds the range, the measurement and the target there.
std::vector<double> Deviation(const LevelCurve& measurement, const FitOptions& options, FitResult* result)
{
    CheckOptions(options);
    const Range range = CoveredSteps(measurement, options);
    FitResult local;
    FitResult& r = result ? *result : local;
    r.firstStep = range.first;
    r.lastStep = range.last;
    r.measured = SmoothedOver(measurement, range);
    r.target = options.target ? SmoothedOver(*options.target, range) : std::vector<double>(r.measured.size(), 0.0);
    std::vector<double> error(r.measured.size());
    for (std::size_t i = 0; i < error.size(); ++i) error[i] = r.measured[i] - r.target[i];
    if (options.holdLevel) {
        const double level = Mean(error);
        for (double& t : r.target) t += level;
        for (double& e : error) e -= level;
    }
    return error;
}

// The fit's problem over the range `result` holds, `error` the deviation there.
Problem ProblemOf(const FitResult& result, const std::vector<double>& error, const FitOptions& options)
{
    Problem p;
    p.first = result.firstStep;
    p.curves = &BandCurves::Of(options.bandModel);
    p.error = FillNarrowDips(error);
    p.maxBoostDb = std::min(options.maxBoostDb, 12.0);
    p.maxCutDb = std::min(options.maxCutDb, 12.0);
    p.levelFollows = !options.holdLevel;
    p.highestGain = kGainStepZero + static_cast<int>(std::floor(p.maxBoostDb * 10.0 + 1e-9));
    p.lowestGain = kGainStepZero - static_cast<int>(std::floor(p.maxCutDb * 10.0 + 1e-9));
    for (int k = result.firstStep; k <= result.lastStep; ++k) {
        const auto at = static_cast<std::size_t>(k);
        const auto limit = [at](const std::vector<double>& atSteps, double most) {
            return atSteps.empty() ? most : std::min(most, atSteps[at]);
        };
        p.boostDb.push_back(limit(options.boostLimitAtStep, p.maxBoostDb));
        p.cutDb.push_back(limit(options.cutLimitAtStep, p.maxCutDb));
    }
    return p;
}

}  // namespace

std::optional<double> SmoothedAtStep(const LevelCurve& measurement, int k)
{
    const double hz = FreqTable[k];
    if (hz < measurement.hz.front() || hz > measurement.hz.back()) return std::nullopt;
    double sum = 0.0;
    for (int j = 0; j < kSmoothingPoints; ++j) {
        const double octaves = kSmoothingOctaves * (static_cast<double>(j) / (kSmoothingPoints - 1) - 0.5);
        sum += LevelAt(measurement, hz * std::exp2(octaves));
    }
    return sum / kSmoothingPoints;
}

double DeviationRms(const LevelCurve& measurement, const FitOptions& options)
{
    return Rms(Deviation(measurement, options, nullptr), true);
}

FitResult FitPeq(const LevelCurve& measurement, const FitOptions& options)
{
    FitResult result;
    const std::vector<double> error = Deviation(measurement, options, &result);
    result.rmsBeforeDb = Rms(error, true);
    const Problem p = ProblemOf(result, error, options);

    // Two starts, each taken through the continuous fit and the step searches.
    double best = kNoCost;
    for (const bool onLargestDeviation : {false, true}) {
        const PeqBands rounded = RoundedContinuousFit(p, Greedy(p, onLargestDeviation));
        const PeqBands searched = MoveBands(p, MoveBands(p, rounded, false), true);
        const PeqBands bands = MoveBands(p, RoundedContinuousFit(p, searched), false);
        if (Cost(p, bands) < best) {
            best = Cost(p, bands);
            result.bands = SilentBandsFlat(bands);
            result.roundedBands = SilentBandsFlat(rounded);
        }
    }
    result.rmsRoundedDb = RmsAfter(result, p, result.roundedBands);
    result.rmsAfterDb = RmsAfter(result, p, result.bands, &result.predicted, &result.target);
    return result;
}

FitResult FittedWith(const LevelCurve& measurement, const FitOptions& options, const PeqBands& bands)
{
    FitResult result;
    const std::vector<double> error = Deviation(measurement, options, &result);
    result.rmsBeforeDb = Rms(error, true);
    const Problem p = ProblemOf(result, error, options);
    result.bands = result.roundedBands = SilentBandsFlat(bands);
    result.rmsRoundedDb = RmsAfter(result, p, result.roundedBands);
    result.rmsAfterDb = RmsAfter(result, p, result.bands, &result.predicted, &result.target);
    return result;
}
