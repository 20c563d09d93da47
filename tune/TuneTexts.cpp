#include "TuneTexts.h"

#include <cmath>
#include <cctype>
#include <cstdio>
#include <optional>
#include <span>

#include "model/Scales.h"

namespace {

constexpr double kMsPerDelayStep = 0.1;
// A fit that ends further from its target than this did not get there.
constexpr double kFitReachedDb = 1.0;
// A dip of the sum deeper than this below the louder of tops and Sub.
constexpr double kDeepDipDb = -3.0;

// The value as it is shown with that many decimals.
double Rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

// `value` with `decimals` places, the sign always shown with `sign`; never "-0.0".
std::string Fixed(double value, int decimals, bool sign = false)
{
    const double shown = Rounded(value, decimals) + 0.0;
    char text[32];
    std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, shown);
    return text;
}

std::string Db(double value, bool sign = false) { return Fixed(value, 1, sign) + " dB"; }

std::string DelayText(int relativeSteps)
{
    const int steps = std::abs(relativeSteps);
    const char* channel = relativeSteps > 0 ? "Sub" : "Left & Right";
    return std::string("Delay ") + channel + " " + Fixed(steps * 0.1, 1) + " ms (" + std::to_string(steps) +
           (steps == 1 ? " step)" : " steps)");
}

std::string PolarityText(bool inverted) { return inverted ? "inverted" : "normal"; }

std::string RegionText(const CrossoverRegion& region)
{
    return HzText(region.lowHz) + " - " + HzText(region.highHz);
}

// Where the sum falls furthest below the louder of tops and Sub (above it: positive).
std::string DipText(const SumFigures& sum) { return Db(sum.deepestDipDb, true) + " at " + HzText(sum.deepestDipHz); }

std::string SumText(const SumFigures& before, const SumFigures& after)
{
    return "Sum " + Db(after.meanDb - before.meanDb, true) + " on average; against the louder of tops and Sub " +
           DipText(before) + " \u2192 " + DipText(after);
}

TunePartText AlignmentText(const ParameterModel& setting, const TuneProposal& p)
{
    const Alignment& a = p.alignment;
    TunePartText text{"Alignment", DelayText(a.chosen.relativeSteps) + ", Sub polarity " +
                                       PolarityText(a.chosen.subInverted),
                      SumText(a.before, a.after) + " (" + RegionText(p.region) + ")", {}};
    if (a.polarityReversed)
        text.proposal += " (reversed: it is " + PolarityText(setting.polarity[kSlotSub] != 0) + " now)";
    if (a.otherAsGood)
        text.note = "The other polarity was as good: " + DelayText(a.otherPolarity.relativeSteps) + ", Sub " +
                    PolarityText(a.otherPolarity.subInverted) + " (" +
                    Db(a.otherPolarity.meanDb - a.chosen.meanDb, true) + "); the shorter delay is taken.";
    return text;
}

TunePartText SubLevelText(const ParameterModel& setting, const TuneProposal& p)
{
    const LevelMatch& l = p.levels;
    TunePartText text{"Sub level", "Sub " + GainText(setting.gain[kSlotSub]) + " \u2192 " + GainText(l.subGain),
                      "Sub " + Db(l.changeDb, true) + " (its band " + Db(l.subDb) + ", the tops' " + Db(l.topsDb) +
                          ")",
                      {}};
    if (l.missingDb != 0.0)
        text.note = Db(std::fabs(l.missingDb)) + " short of the match: " +
                    (l.limitedByUnit ? "the unit's range ends there." : "the rise limit stops it.");
    return text;
}

// "101Hz -3.0dB 0.991oct; flat; flat".
std::string BandsText(std::span<const PeqBand> bands)
{
    std::string text;
    for (const PeqBand& band : bands) text += (text.empty() ? "" : "; ") + PeqBandText(band);
    return text;
}

TunePartText PeqText(const char* name, const ChannelPeq& peq)
{
    if (!peq.fit) return {name, "Not fitted: " + peq.refused, "None", {}, false};
    TunePartText text{name, BandsText(peq.fit->bands),
                      "From the target " + Db(peq.fit->rmsBeforeDb) + " \u2192 " + Db(peq.fit->rmsAfterDb) + " RMS",
                      {}};
    if (!peq.leftOut.empty())
        text.note = "Left out of the fit on the positions' average: " + BandsText(peq.leftOut) +
                    " (the positions come nearer the target without " + (peq.leftOut.size() > 1 ? "them" : "it") +
                    ").";
    return text;
}

std::string OutputTitle(const std::string& name)
{
    std::string title = name;
    if (!title.empty()) title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    return title;
}

std::string RmsText(double db) { return std::isnan(db) ? "-" : Db(db); }

std::string LevelShortfall(const TuneStart& start)
{
    const LevelMatch& levels = start.proposal.levels;
    return "The Sub stays " + Db(levels.missingDb) + " below its match: " +
           (levels.limitedByUnit ? std::string("the unit's level ends at +6 dB.")
                                 : "the limit on a rise (" + Db(start.settings.options.levels.maxRiseDb) +
                                       ") stops it.");
}

// The Sub's arrival after the tops' with neither channel delayed, where the
// unit's delay cannot make it up; empty where it can.
std::optional<std::string> AlignmentShortfall(const TuneStart& start)
{
    const SystemMeasurement& m = start.measurement;
    const double topsMs = (m.left.arrivalMs + m.right.arrivalMs) / 2.0;
    const double apartMs = (m.sub.arrivalMs - start.setting.delay[kSlotSub] * kMsPerDelayStep) -
                           (topsMs - start.setting.delay[kSlotLeftRight] * kMsPerDelayStep);
    if (std::abs(apartMs) <= kDelayStepMax * kMsPerDelayStep) return std::nullopt;
    return "The Sub arrives " + Fixed(std::abs(apartMs), 1) + " ms" + (apartMs > 0 ? " after" : " before") +
           " the tops, more than the unit's " + Fixed(kDelayStepMax * kMsPerDelayStep, 1) +
           " ms of delay make up: they are aligned on the phase in the crossover region, a period off in time.";
}

std::optional<std::string> PeqShortfall(const char* channel, const ChannelPeq& peq)
{
    if (!peq.fit) return std::string("PEQ ") + channel + ": no fit (" + peq.refused + ").";
    if (peq.fit->rmsAfterDb <= kFitReachedDb) return std::nullopt;
    return std::string("PEQ ") + channel + ": three bands come no closer than " + Db(peq.fit->rmsAfterDb) +
           " RMS to the target.";
}

}  // namespace

bool& Takes(TuneParts& parts, TunePart part)
{
    switch (part) {
        case TunePart::Alignment:
            return parts.alignment;
        case TunePart::SubLevel:
            return parts.levels;
        case TunePart::PeqLeftRight:
            return parts.peqLr;
        case TunePart::PeqSub:
            break;
    }
    return parts.peqSub;
}

bool Takes(const TuneParts& parts, TunePart part)
{
    TuneParts copy = parts;
    return Takes(copy, part);
}

TunePartText DescribePart(const ParameterModel& setting, const TuneProposal& proposal, TunePart part)
{
    switch (part) {
        case TunePart::Alignment:
            return AlignmentText(setting, proposal);
        case TunePart::SubLevel:
            return SubLevelText(setting, proposal);
        case TunePart::PeqLeftRight:
            return PeqText("PEQ Left & Right", proposal.peqLr);
        case TunePart::PeqSub:
            break;
    }
    return PeqText("PEQ Sub", proposal.peqSub);
}

std::vector<OutputCheckText> DescribeChecks(const TuneVerification& v)
{
    std::vector<OutputCheckText> rows;
    for (const OutputCheck& check : v.outputs)
        rows.push_back({OutputTitle(check.output), RmsText(check.rmsBeforeDb), RmsText(check.rmsAfterDb),
                        check.largestMissHz > 0.0
                            ? Db(check.largestMissDb, true) + " at " + HzText(check.largestMissHz)
                            : "none"});
    return rows;
}

std::string ChecksPositionText(const SpatialVerification& v)
{
    if (v.positions.empty()) return {};
    return "Each output as measured at position 1 of " + std::to_string(v.positions.size()) +
           "; every position's system, and their average, below.";
}

std::vector<std::string> VerificationFindings(const TuneVerification& v, const CrossoverRegion& region)
{
    std::vector<std::string> findings{"Crossover sum measured after (" + RegionText(region) +
                                      "): at its lowest against the louder of tops and Sub " +
                                      DipText(v.crossoverSum) + "."};
    for (const OutputCheck& check : v.outputs)
        if (std::fabs(check.largestMissDb) > kPredictionMissDb)
            findings.push_back(OutputTitle(check.output) + " differs from the prediction by " +
                               Db(check.largestMissDb, true) + " at " + HzText(check.largestMissHz) +
                               ": the room did not behave as predicted, or the microphone moved.");
    if (!v.missesPrediction) findings.push_back("Every output is within " + Db(kPredictionMissDb) + " of the prediction.");
    if (v.secondPassDue)
        findings.push_back("A second pass is due: the measurement after differs from the prediction by more than " +
                           Db(kSecondPassDb) + ".");
    return findings;
}

std::vector<std::string> PositionSumTexts(const TuneProposal& proposal)
{
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < proposal.positionSums.size(); ++i) {
        const PositionSum& p = proposal.positionSums[i];
        std::string text = "Position " + std::to_string(i + 1) + ": tops and Sub add " + Db(p.worthBeforeDb, true) +
                           " \u2192 " + Db(p.worthAfterDb, true) + " against the louder of the two; " +
                           DipText(p.before) + " \u2192 " + DipText(p.after) + " at the deepest";
        if (p.anotherBetter)
            text += "; here alone " + DelayText(p.own.relativeSteps) + ", Sub " + PolarityText(p.own.subInverted) +
                    " would add " + Db(p.own.meanDb, true) + " (the worst seat decided)";
        texts.push_back(text + ".");
    }
    return texts;
}

std::vector<std::string> SpatialVerificationTexts(const SpatialVerification& v)
{
    std::vector<std::string> texts;
    if (v.positions.empty()) return texts;  // one position: the checks are its own
    for (std::size_t i = 0; i < v.positions.size(); ++i) {
        const PositionCheck& p = v.positions[i];
        texts.push_back("Position " + std::to_string(i + 1) + ": RMS from the target " + RmsText(p.rmsBeforeDb) +
                        " \u2192 " + RmsText(p.rmsAfterDb) + "; crossover sum at its lowest " + DipText(p.sumBefore) +
                        " \u2192 " + DipText(p.sumAfter) + ".");
    }
    texts.push_back("Average of the positions: RMS from the target " + RmsText(v.averageRmsBeforeDb) + " \u2192 " +
                    RmsText(v.averageRmsAfterDb) + ".");
    for (const int worse : v.worse)
        texts.push_back("Position " + std::to_string(worse) + " got worse by more than " + Db(kWorsePositionDb) +
                        ": the tuning serves the others at its expense.");
    return texts;
}

std::string RegionSentence(const CrossoverRegion& region)
{
    return "Crossover region " + RegionText(region) +
           (region.fromSettings ? ", from the crossover settings" : ", where the measured tops and Sub cross");
}

std::vector<std::string> ProposalShortfalls(const TuneStart& start, const TuneParts& parts)
{
    std::vector<std::string> out;
    const TuneProposal& p = start.proposal;
    if (parts.levels && p.levels.missingDb > 0.0) out.push_back(LevelShortfall(start));
    if (parts.alignment)
        if (std::optional<std::string> apart = AlignmentShortfall(start)) out.push_back(*apart);
    if (parts.peqLr)
        if (std::optional<std::string> peq = PeqShortfall("Left & Right", p.peqLr)) out.push_back(*peq);
    if (parts.peqSub)
        if (std::optional<std::string> peq = PeqShortfall("Sub", p.peqSub)) out.push_back(*peq);
    return out;
}

std::vector<std::string> VerificationShortfalls(const TuneVerification& v)
{
    std::vector<std::string> out;
    if (v.crossoverSum.deepestDipDb < kDeepDipDb)
        out.push_back("The sum of tops and Sub still dips " + DipText(v.crossoverSum) +
                      " in the crossover region.");
    return out;
}

std::string HzText(double hz)
{
    // Three figures, decided on the value as it is shown: 99.96 Hz is
    // "100 Hz" and 999.6 Hz "1.00 kHz", never "100.0 Hz" or "1000 Hz".
    const double khz = hz / 1000.0;
    if (Rounded(hz, 0) >= 1000.0) return Fixed(khz, Rounded(khz, 2) >= 10.0 ? 1 : 2) + " kHz";
    return Fixed(hz, Rounded(hz, 1) >= 100.0 ? 0 : 1) + " Hz";
}
