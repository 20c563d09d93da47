#include "TuneJson.h"

#include <cmath>
#include <numbers>

#include "ChannelJson.h"
#include "model/Units.h"
#include "tuning/SpatialFit.h"

using json = nlohmann::ordered_json;

namespace {

double InMainUnit(Scale scale, int step) { return UnitsOf(scale).front().valueOf(step); }

const char* ChannelKey(int slot) { return slot == kSlotSub ? "sub" : "lr"; }
const char* PolarityWord(bool inverted) { return inverted ? "inverted" : "normal"; }

// The delay on the channel that gets it (Left & Right when neither does).
json DelayJson(int relativeSteps)
{
    const int steps = std::abs(relativeSteps);
    return {{"channel", ChannelKey(relativeSteps > 0 ? kSlotSub : kSlotLeftRight)},
            {"steps", steps},
            {"ms", InMainUnit(Scale::Delay, steps)}};
}

json LevelJson(int gainStep) { return {{"gain", gainStep}, {"gainDb", InMainUnit(Scale::Level, gainStep)}}; }

json PeqJson(const ParameterModel& setting, int slot, const ChannelPeq& peq)
{
    if (!peq.fit) return {{"refused", peq.refused}};
    json out = PeqProposalJson(setting, slot);
    out["rmsBeforeDb"] = peq.fit->rmsBeforeDb;
    out["rmsAfterDb"] = peq.fit->rmsAfterDb;
    out["leftOut"] = json::array();
    for (const PeqBand& band : peq.leftOut) out["leftOut"].push_back(PeqBandText(band));
    return out;
}

json SumJson(const SumFigures& f)
{
    return {
        {"meanDb", f.meanDb}, {"minDb", f.minDb}, {"deepestDipDb", f.deepestDipDb}, {"deepestDipHz", f.deepestDipHz}};
}

json OutputJson(const char* name, const MeasuredResponse& output)
{
    json db = json::array(), phase = json::array();
    for (const Complex h : output.response) {
        db.push_back(LevelDb(h));
        phase.push_back(std::arg(h) * 180.0 / std::numbers::pi);
    }
    return {{"output", name}, {"arrivalMs", output.arrivalMs}, {"hz", output.hz}, {"db", db}, {"phaseDeg", phase}};
}

json ProposalPartsJson(const ParameterModel& setting, const TuneProposal& p)
{
    const Alignment& a = p.alignment;
    json other = nullptr;
    if (a.otherAsGood) {
        other = DelayJson(a.otherPolarity.relativeSteps);
        other["subPolarity"] = PolarityWord(a.otherPolarity.subInverted);
        other["sumMeanDb"] = a.otherPolarity.meanDb;
    }
    json sub = LevelJson(p.levels.subGain);
    sub["changeDb"] = p.levels.changeDb;
    sub["missingDb"] = p.levels.missingDb;
    sub["limitedByUnit"] = p.levels.limitedByUnit;
    return {{"delay", DelayJson(a.chosen.relativeSteps)},
            {"subPolarity", PolarityWord(a.chosen.subInverted)},
            {"polarityReversed", a.polarityReversed},
            {"otherPolarityAsGood", other},
            {"levels", {{"lr", LevelJson(setting.gain[kSlotLeftRight])}, {"sub", sub}}},
            {"peq",
             {{"lr", PeqJson(p.setting, kSlotLeftRight, p.peqLr)}, {"sub", PeqJson(p.setting, kSlotSub, p.peqSub)}}}};
}

json PositionSumsJson(const std::vector<PositionSum>& sums)
{
    json positions = json::array();
    for (const PositionSum& p : sums)
        positions.push_back({{"sumBefore", SumJson(p.before)},
                             {"sumAfter", SumJson(p.after)},
                             {"addsBeforeDb", p.worthBeforeDb},
                             {"addsAfterDb", p.worthAfterDb},
                             {"anotherBetter", p.anotherBetter},
                             {"best",
                              {{"delay", DelayJson(p.own.relativeSteps)},
                               {"subPolarity", PolarityWord(p.own.subInverted)},
                               {"addsDb", p.own.meanDb}}}});
    return positions;
}

// Of several positions, each output's prediction as the positions' mean
// power: what the measurement's average is beside it.
json PredictedAverageJson(const std::vector<SystemMeasurement>& positions)
{
    json outputs = json::array();
    const auto each = [&](const char* name, MeasuredResponse SystemMeasurement::*output) {
        const LevelCurve mean =
            LevelsOverPositions(LevelsAtPositions(positions, [output](const SystemMeasurement& m) { return m.*output; }))
                .mean;
        outputs.push_back({{"output", name}, {"hz", mean.hz}, {"db", mean.db}});
    };
    each("left", &SystemMeasurement::left);
    each("right", &SystemMeasurement::right);
    each("sub", &SystemMeasurement::sub);
    each("system", &SystemMeasurement::system);
    return outputs;
}

}  // namespace

json TuneProposalJson(const ParameterModel& setting, const TuneProposal& p)
{
    const SystemMeasurement& m = p.predicted;
    json outputs = json::array({OutputJson("left", m.left), OutputJson("right", m.right), OutputJson("sub", m.sub),
                                OutputJson("system", m.system)});
    json out{
        {"proposal", ProposalPartsJson(setting, p)},
        {"predicted",
         {{"region", {{"lowHz", p.region.lowHz}, {"highHz", p.region.highHz}, {"fromSettings", p.region.fromSettings}}},
          {"sumBefore", SumJson(p.sumBefore)},
          {"sumAfter", SumJson(p.sumAfter)},
          {"outputs", outputs}}}};
    if (!p.positionSums.empty()) out["positions"] = PositionSumsJson(p.positionSums);
    if (p.predictedPositions.size() > 1) out["predicted"]["average"] = PredictedAverageJson(p.predictedPositions);
    return out;
}

json SpatialVerificationJson(const SpatialVerification& v)
{
    json positions = json::array();
    for (const PositionCheck& p : v.positions)
        positions.push_back({{"rmsBeforeDb", p.rmsBeforeDb},
                             {"rmsAfterDb", p.rmsAfterDb},
                             {"sumBefore", SumJson(p.sumBefore)},
                             {"sumAfter", SumJson(p.sumAfter)}});
    return {{"positions", positions},
            {"average", {{"rmsBeforeDb", v.averageRmsBeforeDb}, {"rmsAfterDb", v.averageRmsAfterDb}}},
            {"worse", v.worse}};
}

json SystemCurveJson(std::span<const SystemMeasurement> positions)
{
    const std::vector<LevelCurve> levels = LevelsAtPositions(positions, SystemOutput);
    const LevelCurve mean = LevelsOverPositions(levels).mean;
    json out{{"output", "system"}, {"hz", mean.hz}, {"db", mean.db}};
    if (levels.size() > 1) {
        json each = json::array();
        for (const LevelCurve& position : levels) each.push_back({{"db", position.db}});
        out["positions"] = each;
    }
    return out;
}

json AlignmentJson(const ParameterModel& setting)
{
    return {{"delay", DelayJson(setting.delay[kSlotSub] - setting.delay[kSlotLeftRight])},
            {"subPolarity", PolarityWord(setting.polarity[kSlotSub] != 0)}};
}

json TuneVerificationJson(const TuneVerification& v, const SpatialVerification& positions)
{
    json outputs = json::array();
    for (const OutputCheck& o : v.outputs)
        outputs.push_back({{"output", o.output},
                           {"rmsBeforeDb", o.rmsBeforeDb},
                           {"rmsAfterDb", o.rmsAfterDb},
                           {"largestMissDb", o.largestMissDb},
                           {"largestMissHz", o.largestMissHz}});
    json out{{"outputs", outputs},
             {"crossoverSumDb", v.crossoverSum.meanDb},
             {"crossoverSum", SumJson(v.crossoverSum)},
             {"missesPrediction", v.missesPrediction},
             {"secondPassDue", v.secondPassDue}};
    if (!positions.positions.empty()) out.update(SpatialVerificationJson(positions));
    return out;
}
