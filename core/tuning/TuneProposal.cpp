#include "tuning/TuneProposal.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

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

// What a channel's PEQ is fitted on: its levels at each position, and the options.
struct ChannelFitting {
    std::vector<LevelCurve> levels;
    FitOptions options;

    FitResult Fit() const
    {
        return levels.size() == 1 ? FitPeq(levels.front(), options) : FitPeqAtPositions(levels, options);
    }
    // The fit's figures for `bands` on the same levels.
    FitResult With(const PeqBands& bands) const
    {
        return levels.size() == 1 ? FittedWith(levels.front(), options, bands)
                                  : FittedAtPositionsWith(levels, options, bands);
    }
};

ChannelPeq FitChannel(const ChannelFitting& fitting)
{
    ChannelPeq peq;
    if (!(fitting.options.highHz > fitting.options.lowHz)) {
        peq.refused = "the channel's band lies outside the fit's range";
        return peq;
    }
    try {
        peq.fit = fitting.Fit();
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

// A proposal's making: the positions, the setting they were measured with
// and what each channel is fitted on.
struct Proposing {
    std::span<const SystemMeasurement> positions;
    const ParameterModel& setting;
    const TuneOptions& options;
    bool keepLevel;  // the Sub's level left as it is
    ChannelFitting tops, sub;
};

// With the bands in place: the Sub's level matched (or kept), then the
// alignment judged with both, then every position predicted.
void Finish(TuneProposal& p, const Proposing& making)
{
    const ParameterModel equalised = ProposedSetting(making.setting, p, {.alignment = false, .levels = false});
    const std::vector<SystemMeasurement> withPeq = Predicted(making.positions, making.setting, equalised);
    p.levels = MatchSubLevelAtPositions(withPeq, equalised, p.region, making.options.levels);
    if (making.keepLevel) p.levels = Unchanged(p.levels, making.setting);
    Align(p, withPeq, equalised);
    Predict(p, making.positions, making.setting);
}

// Each position's system from the target, as the verification judges it.
std::vector<double> SystemRms(std::span<const SystemMeasurement> positions, const FitOptions& fit)
{
    std::vector<double> rms;
    for (const SystemMeasurement& m : positions) rms.push_back(DeviationRms(LevelsOf(SystemOutput(m)), fit));
    return rms;
}

// The proposal with band `band` of `peq` left out, finished again.
TuneProposal WithBandLeftOut(const TuneProposal& p, ChannelPeq TuneProposal::*peq, const ChannelFitting& fitting,
                             std::size_t band, const Proposing& making)
{
    TuneProposal q = p;
    PeqBands bands = (q.*peq).fit->bands;
    (q.*peq).leftOut.push_back(bands[band]);
    bands[band] = PeqBand{};
    (q.*peq).fit = fitting.With(bands);
    Finish(q, making);
    return q;
}

// Several positions: a band fitted on the channels' average can do the
// seats' systems no good (a peak every seat has in its tops, where at the
// seats the Sub or the other top takes it away). The band whose leaving
// out brings the positions' systems nearest the target on average is left
// out (the level and the alignment judged again without it), one at a
// time while that gains, and never at the cost of a position taken more
// than kLeftOutWorseDb past where it started (or past where the band had it).
void LeaveOutBandsTheSeatsDoNotGain(TuneProposal& p, const Proposing& making)
{
    const FitOptions& fit = making.options.fit;
    std::vector<double> before, now;
    try {
        before = SystemRms(making.positions, fit);
        now = SystemRms(p.predictedPositions, fit);
    } catch (const TuningFileError&) {
        return;  // the system covers too little of the range to judge it
    }
    const auto allowed = [&](const std::vector<double>& rms) {
        for (std::size_t i = 0; i < rms.size(); ++i)
            if (rms[i] > std::max(now[i], before[i] + kLeftOutWorseDb)) return false;
        return true;
    };
    for (;;) {
        std::optional<TuneProposal> best;
        std::vector<double> bestRms = now;
        for (const auto& [peq, fitting] :
             {std::pair{&TuneProposal::peqLr, &making.tops}, std::pair{&TuneProposal::peqSub, &making.sub}}) {
            if (!(p.*peq).fit) continue;
            for (std::size_t band = 0; band < kPeqBands; ++band) {
                if ((p.*peq).fit->bands[band].flat) continue;
                TuneProposal q = WithBandLeftOut(p, peq, *fitting, band, making);
                const std::vector<double> rms = SystemRms(q.predictedPositions, fit);
                if (Mean(rms) < Mean(bestRms) - kLeftOutGainsDb && allowed(rms)) {
                    best = std::move(q);
                    bestRms = rms;
                }
            }
        }
        if (!best) return;
        p = std::move(*best);
        now = bestRms;
    }
}

// The proposal in a region already found: each channel's PEQ fitted (at one
// position on its measurement, at several on their average within their
// spread's limits, then without the bands the seats do not gain from), the
// Sub's level matched with the new bands in place (or, `keepLevel`, left as
// it is), then the alignment with both.
TuneProposal ProposeIn(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                       const TuneOptions& options, const CrossoverRegion& region, bool keepLevel)
{
    TuneProposal p;
    p.region = region;

    // The channels' present bands divided out, the new ones fitted.
    ParameterModel equalised = setting;
    FlattenPeq(equalised, kSlotLeftRight);
    FlattenPeq(equalised, kSlotSub);
    const std::vector<double>& hz = positions.front().left.hz;
    Proposing making{positions,
                     setting,
                     options,
                     keepLevel,
                     {{}, ChannelFitOptions(options.fit, setting, kSlotLeftRight, region, hz)},
                     {{}, ChannelFitOptions(options.fit, setting, kSlotSub, region, hz)}};
    for (const SystemMeasurement& bare : Predicted(positions, setting, equalised)) {
        making.tops.levels.push_back(PowerMeanLevels(bare.left, bare.right));
        making.sub.levels.push_back(LevelsOf(bare.sub));
    }
    p.peqLr = FitChannel(making.tops);
    p.peqSub = FitChannel(making.sub);
    Finish(p, making);
    if (positions.size() > 1) LeaveOutBandsTheSeatsDoNotGain(p, making);
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
