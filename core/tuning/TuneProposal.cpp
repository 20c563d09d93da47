#include "tuning/TuneProposal.h"

#include <algorithm>

#include "tuning/SoundModel.h"
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

ChannelPeq FitChannel(const LevelCurve& levels, const FitOptions& options)
{
    ChannelPeq peq;
    if (!(options.highHz > options.lowHz)) {
        peq.refused = "the channel's band lies outside the fit's range";
        return peq;
    }
    try {
        peq.fit = FitPeq(levels, options);
    } catch (const TuningFileError& e) {
        peq.refused = e.what();
    }
    return peq;
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
    if (slot == kSlotSub)
        options.highHz = std::min(options.highHz, region.CentreHz());
    else
        options.lowHz = std::max(options.lowHz, region.CentreHz());
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

TuneProposal ProposeTuning(const SystemMeasurement& measurement, const ParameterModel& setting,
                           const TuneOptions& options)
{
    CheckSystemMeasurement(measurement);
    TuneProposal p;
    p.region = SettledRegion(measurement, setting, options.levels);

    // The channels' present bands divided out, the new ones fitted.
    ParameterModel equalised = setting;
    FlattenPeq(equalised, kSlotLeftRight);
    FlattenPeq(equalised, kSlotSub);
    const SystemMeasurement bare = PredictedMeasurement(measurement, setting, equalised);
    const std::vector<double>& hz = measurement.left.hz;
    p.peqLr = FitChannel(PowerMeanLevels(bare.left, bare.right),
                         ChannelFitOptions(options.fit, setting, kSlotLeftRight, p.region, hz));
    p.peqSub = FitChannel(LevelsOf(bare.sub), ChannelFitOptions(options.fit, setting, kSlotSub, p.region, hz));

    // The levels and the alignment with the new bands in place.
    equalised = ProposedSetting(setting, p, {.alignment = false, .levels = false});
    const SystemMeasurement withPeq = PredictedMeasurement(measurement, setting, equalised);
    p.levels = MatchSubLevel(withPeq, equalised, p.region, options.levels);
    p.alignment = AlignSub(withPeq, equalised, p.region, p.levels.changeDb);

    p.setting = ProposedSetting(setting, p, {});
    p.predicted = PredictedMeasurement(measurement, setting, p.setting);
    p.sumBefore = SumOver(p.region, measurement);
    p.sumAfter = SumOver(p.region, p.predicted);
    return p;
}
