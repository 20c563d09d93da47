#include "tuning/TuneProposal.h"

#include <algorithm>
#include <stdexcept>

#include "tuning/SoundModel.h"
#include "tuning/SpatialFit.h"
#include "tuning/TuningText.h"

namespace {

// The channel as the measurement plays it: unmuted.
Complex PlayedSound(ParameterModel model, int slot, double hz)
{
    model.mute[slot] = 0;
    return ChannelSound(model, slot, hz);
}

MeasuredResponse Changed(const MeasuredResponse& output, const ParameterModel& setting, const ParameterModel& proposed,
                       int slot)
{
    MeasuredResponse out = output;
    for (std::size_t i = 0; i < out.hz.size(); ++i)
        out.response[i] *= PlayedSound(proposed, slot, out.hz[i]) / PlayedSound(setting, slot, out.hz[i]);
    out.arrivalMs += (proposed.delay[slot] - setting.delay[slot]) * 0.1;
    return out;
}

void FlattenPeq(ParameterModel& model, int slot)
{
    for (int band = 0; band < kPeqBands; ++band) model.peqFlat[PeqIndex(slot, band)] = 1;
}

// `fit` fits with `options` (on one measurement, or on several positions).
template <typename Fit>
ChannelPeq FitChannel(const FitOptions& options, Fit fit)
{
    ChannelPeq peq;
    if (!(options.highHz > options.lowHz)) {
        peq.refused = "the channel's band lies outside the fit's range";
        return peq;
    }
    try {
        peq.fit = fit(options);
    } catch (const TuningFileError& e) {
        peq.refused = e.what();
    }
    return peq;
}

// Each position with the channels' present bands divided out.
std::vector<SystemMeasurement> Predicted(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                         const ParameterModel& proposed)
{
    std::vector<SystemMeasurement> out;
    for (const SystemMeasurement& m : positions) out.push_back(PredictedMeasurement(m, setting, proposed));
    return out;
}

// Where the crossover is flat the region lies where the measured tops and
// Sub cross, which moves with the Sub's level, and the Sub's level is
// matched in bands either side of the region: both are settled together, a
// round at a time (a Sub far below the tops crosses them an octave low,
// where their sum hardly depends on the delay).
CrossoverRegion SettledRegion(const SystemMeasurement& m, const ParameterModel& setting, const LevelOptions& options)
{
    constexpr int kRounds = 4;
    CrossoverRegion region = FindCrossoverRegion(setting, m);
    for (int round = 0; round < kRounds && !region.fromSettings; ++round) {
        const CrossoverRegion next =
            FindCrossoverRegion(setting, m, MatchSubLevel(m, setting, region, options).changeDb);
        if (next.lowHz == region.lowHz) break;
        region = next;
    }
    return region;
}

// The Sub's delay and polarity with the new bands and the proposed level in
// place (`withPeq`: each position as `equalised` plays it): at one position
// the best sum, at several the best for the worst position.
void Align(TuneProposal& p, std::span<const SystemMeasurement> withPeq, const ParameterModel& equalised)
{
    if (withPeq.size() == 1) {
        p.alignment = AlignSub(withPeq.front(), equalised, p.region, p.levels.changeDb);
        return;
    }
    const SpatialAlignment spatial = AlignSubAtPositions(withPeq, equalised, p.region, p.levels.changeDb);
    p.alignment = Alignment{};
    p.alignment.chosen = spatial.chosen;
    p.alignment.polarityReversed = spatial.polarityReversed;
    p.alignment.lrDelay = spatial.lrDelay;
    p.alignment.subDelay = spatial.subDelay;
    p.alignment.before = spatial.positions.front().before;
    p.alignment.after = spatial.positions.front().after;
    p.positionSums = spatial.positions;
}

// The setting with every part, and each position as it would make it.
void Predict(TuneProposal& p, std::span<const SystemMeasurement> positions, const ParameterModel& setting)
{
    p.setting = ProposedSetting(setting, p, {});
    p.predictedPositions = Predicted(positions, setting, p.setting);
    p.predicted = p.predictedPositions.front();
    p.sumBefore = SumOver(p.region, positions.front());
    p.sumAfter = SumOver(p.region, p.predicted);
}

}  // namespace

FitOptions ChannelFitOptions(const FitOptions& base, const ParameterModel& setting, int slot,
                             const CrossoverRegion& region, const std::vector<double>& hz)
{
    FitOptions options = base;
    options.bandModel = BandModel::Sound;
    // Left & Right keep their level: the Sub is matched to them afterwards,
    // and a fit whose level followed could bring the whole system down
    // (a shelf over the tops' band, to reach past the boost limit elsewhere).
    options.holdLevel = slot == kSlotLeftRight;
    // Where the crossover is flat, tops and Sub both play the whole region:
    // each channel's band ends where it begins, and the sum there is left to
    // the Sub's level and the alignment (each lifted to the target up to its
    // middle sum to several dB over it, at every seat).
    const double subEnd = region.fromSettings ? region.CentreHz() : region.lowHz;
    const double topsStart = region.fromSettings ? region.CentreHz() : region.highHz;
    if (slot == kSlotSub)
        options.highHz = std::min(options.highHz, subEnd);
    else
        options.lowHz = std::max(options.lowHz, topsStart);
    LevelCurve target;
    for (const double f : hz) {
        if (base.target && (f < base.target->hz.front() || f > base.target->hz.back())) continue;
        target.hz.push_back(f);
        target.db.push_back((base.target ? LevelAt(*base.target, f) : 0.0) +
                            LevelDb(ChannelCrossoverSound(setting, slot, f)));
    }
    options.target = target;
    return options;
}

SystemMeasurement PredictedMeasurement(const SystemMeasurement& m, const ParameterModel& setting,
                                       const ParameterModel& proposed)
{
    SystemMeasurement out;
    out.left = Changed(m.left, setting, proposed, kSlotLeftRight);
    out.right = Changed(m.right, setting, proposed, kSlotLeftRight);
    out.sub = Changed(m.sub, setting, proposed, kSlotSub);
    out.system = SystemOutput(out);
    return out;
}

ParameterModel ProposedSetting(const ParameterModel& setting, const TuneProposal& proposal, const TuneParts& parts)
{
    ParameterModel model = setting;
    if (parts.alignment) {
        model.delay[kSlotLeftRight] = proposal.alignment.lrDelay;
        model.delay[kSlotSub] = proposal.alignment.subDelay;
        model.polarity[kSlotSub] = proposal.alignment.chosen.subInverted ? 1 : 0;
    }
    if (parts.levels) model.gain[kSlotSub] = proposal.levels.subGain;
    if (parts.peqLr && proposal.peqLr.fit) WritePeqBands(model, kSlotLeftRight, proposal.peqLr.fit->bands);
    if (parts.peqSub && proposal.peqSub.fit) WritePeqBands(model, kSlotSub, proposal.peqSub.fit->bands);
    return model;
}

namespace {

// At least one position, each a measurement CheckSystemMeasurement takes.
void CheckMeasurements(std::span<const SystemMeasurement> positions)
{
    if (positions.empty()) throw std::invalid_argument("no position to tune from");
    for (const SystemMeasurement& m : positions) CheckSystemMeasurement(m);
}

// The match as it was measured, the Sub's level left where `setting` has it.
LevelMatch Unchanged(LevelMatch match, const ParameterModel& setting)
{
    match.subGain = setting.gain[kSlotSub];
    match.changeDb = 0.0;
    match.missingDb = match.neededDb;
    match.limitedByUnit = false;
    return match;
}

// The proposal in a region already found: each channel's PEQ fitted (at one
// position on its measurement, at several on their average within their
// spread's limits), then the Sub's level matched with the new bands in place
// (or, `keepLevel`, left as it is), then the alignment with both.
TuneProposal ProposeIn(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                       const TuneOptions& options, const CrossoverRegion& region, bool keepLevel)
{
    TuneProposal p;
    p.region = region;

    // The channels' present bands divided out, the new ones fitted.
    ParameterModel equalised = setting;
    FlattenPeq(equalised, kSlotLeftRight);
    FlattenPeq(equalised, kSlotSub);
    std::vector<LevelCurve> tops, sub;
    for (const SystemMeasurement& bare : Predicted(positions, setting, equalised)) {
        tops.push_back(PowerMeanLevels(bare.left, bare.right));
        sub.push_back(LevelsOf(bare.sub));
    }
    const auto fitOn = [](const std::vector<LevelCurve>& levels) {
        return [&levels](const FitOptions& o) {
            return levels.size() == 1 ? FitPeq(levels.front(), o) : FitPeqAtPositions(levels, o);
        };
    };
    const std::vector<double>& hz = positions.front().left.hz;
    p.peqLr = FitChannel(ChannelFitOptions(options.fit, setting, kSlotLeftRight, p.region, hz), fitOn(tops));
    p.peqSub = FitChannel(ChannelFitOptions(options.fit, setting, kSlotSub, p.region, hz), fitOn(sub));

    equalised = ProposedSetting(setting, p, {.alignment = false, .levels = false});
    const std::vector<SystemMeasurement> withPeq = Predicted(positions, setting, equalised);
    p.levels = MatchSubLevelAtPositions(withPeq, equalised, p.region, options.levels);
    if (keepLevel) p.levels = Unchanged(p.levels, setting);
    Align(p, withPeq, equalised);
    Predict(p, positions, setting);
    return p;
}

}  // namespace

TuneProposal ProposeTuning(const SystemMeasurement& measurement, const ParameterModel& setting,
                           const TuneOptions& options)
{
    return ProposeTuningAtPositions(std::span(&measurement, 1), setting, options);
}

TuneProposal ProposeTuningAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                      const TuneOptions& options)
{
    CheckMeasurements(positions);
    return ProposeIn(positions, setting, options, SettledRegion(positions.front(), setting, options.levels), false);
}

TuneProposal ProposeLaterPass(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                              const TuneOptions& options, const CrossoverRegion& region)
{
    CheckMeasurements(positions);
    return ProposeIn(positions, setting, options, region, true);
}
