#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "tests/core/tuning/CrossedSystem.h"
#include "tuning/SoundModel.h"
#include "tuning/TuneVerify.h"

namespace {

Complex Butterworth4Low(double hz)
{
    const Complex s = S(hz, kCrossoverHz);
    return 1.0 / ((s * s + 0.76537 * s + 1.0) * (s * s + 1.84776 * s + 1.0));
}
Complex Lr8Low(double hz) { return std::pow(Butterworth4Low(hz), 2); }
Complex Lr8High(double hz)
{
    const Complex s = S(hz, kCrossoverHz);
    return std::pow(s, 8) * Lr8Low(hz);
}

Alignment Align(const SystemMeasurement& m, const ParameterModel& setting)
{
    return AlignSub(m, setting, FindCrossoverRegion(setting, m), 0.0);
}

struct Tried {
    int relativeSteps;
    double meanDb;
};

// Every relative delay of one polarity tried by the test itself: the one
// whose sum has the highest mean level over the region.
Tried BruteForceBest(const SystemMeasurement& m, const ParameterModel& setting, bool flip)
{
    const CrossoverRegion region = FindCrossoverRegion(setting, m);
    const int current = setting.delay[kSlotSub] - setting.delay[kSlotLeftRight];
    int best = 0;
    double bestMean = -1e9;
    for (int r = -125; r <= 125; ++r) {
        double sum = 0.0;
        int n = 0;
        for (std::size_t i = 0; i < m.left.hz.size(); ++i) {
            const double hz = m.left.hz[i];
            if (hz < region.lowHz || hz > region.highHz) continue;
            const Complex total = m.left.response[i] + m.right.response[i] +
                                  (flip ? -1.0 : 1.0) * m.sub.response[i] * Late((r - current) * 0.1, hz);
            sum += 20.0 * std::log10(std::abs(total));
            ++n;
        }
        if (sum / n > bestMean) {
            bestMean = sum / n;
            best = r;
        }
    }
    return {best, bestMean};
}

// The chosen delay is the brute force's best within one step, or one as good
// a period away.
void ExpectBestOfItsPolarity(const AlignmentCandidate& chosen, const SystemMeasurement& m,
                             const ParameterModel& setting)
{
    const Tried best = BruteForceBest(m, setting, chosen.subInverted != (setting.polarity[kSlotSub] != 0));
    EXPECT_NEAR(chosen.meanDb, best.meanDb, 1e-3);
    if (std::fabs(chosen.meanDb - best.meanDb) > 1e-6) {
        EXPECT_NEAR(chosen.relativeSteps, best.relativeSteps, 1);
    }
}

TEST(SubAlignment, DelaysWhicheverArrivesFirstByEveryStepItNeeds)
{
    // The Sub 1.7 ms behind the tops: Left & Right wait for it.
    const SystemMeasurement late = Crossed([](double hz) { return Late(1.7, hz); });
    const ParameterModel setting = CrossedSetting();
    Alignment a = Align(late, setting);
    EXPECT_EQ(a.lrDelay, 17);
    EXPECT_EQ(a.subDelay, 0);
    EXPECT_FALSE(a.polarityReversed);
    // Aligned, the Link-Riley sum is flat: twice the tops' level.
    EXPECT_LT(a.before.minDb, a.after.minDb - 1.0);
    EXPECT_NEAR(a.after.minDb, 20.0 * std::log10(2.0), 0.01);
    EXPECT_NEAR(a.after.meanDb, 20.0 * std::log10(2.0), 0.01);
    ExpectBestOfItsPolarity(a.chosen, late, setting);

    // The Sub 2.3 ms ahead with 0.5 ms of delay already set: 1.8 ms ahead as
    // measured, 2.3 ms of delay in all.
    ParameterModel delayed = setting;
    delayed.delay[kSlotSub] = 5;
    const SystemMeasurement ahead = Crossed([](double hz) { return Late(-1.8, hz); });
    a = Align(ahead, delayed);
    EXPECT_EQ(a.subDelay, 23);
    EXPECT_EQ(a.lrDelay, 0);
    ExpectBestOfItsPolarity(a.chosen, ahead, delayed);
}

TEST(SubAlignment, FindsTheSubsWiringReversed)
{
    const SystemMeasurement m = Crossed([](double) { return Complex(-1.0); });
    const Alignment a = Align(m, CrossedSetting());
    EXPECT_TRUE(a.polarityReversed);
    EXPECT_TRUE(a.chosen.subInverted);
    EXPECT_EQ(a.subDelay + a.lrDelay, 0);
    EXPECT_LT(a.before.deepestDipDb, -20.0);  // the null at the crossover
    EXPECT_GT(a.after.deepestDipDb, -0.1);
    EXPECT_FALSE(a.otherAsGood);
}

TEST(SubAlignment, TakesTheShorterDelayWhenTheOtherPolarityIsAsGood)
{
    // Crossed by 48 dB Link-Riley filters, the Sub 4 ms late: reversed and
    // 0.8 ms later it sums within 0.2 dB of the tops waiting 4 ms for it.
    SystemMeasurement m;
    m.left = m.right = Measure(Lr8High);
    m.sub = Measure([](double hz) { return 2.0 * Lr8Low(hz) * Late(4.0, hz); });
    ParameterModel setting = CrossedSetting();
    setting.hpfType[kSlotLeftRight] = setting.lpfType[kSlotSub] = 27;
    const Alignment a = Align(m, setting);
    EXPECT_TRUE(a.otherAsGood);
    EXPECT_NEAR(a.chosen.meanDb, a.otherPolarity.meanDb, kAlignmentTieDb);
    EXPECT_LT(a.chosen.meanDb, a.otherPolarity.meanDb);
    EXPECT_TRUE(a.polarityReversed);
    EXPECT_EQ(a.subDelay, a.chosen.relativeSteps);
    EXPECT_LT(a.chosen.DelaySteps(), 10);
    EXPECT_EQ(a.otherPolarity.relativeSteps, -40);

    // With 24 dB Link-Riley filters the reversed Sub stays 0.3 dB short.
    EXPECT_FALSE(Align(Crossed([](double hz) { return Late(4.0, hz); }), CrossedSetting()).otherAsGood);
    ExpectBestOfItsPolarity(a.chosen, m, setting);
    ExpectBestOfItsPolarity(a.otherPolarity, m, setting);
}

TEST(SubAlignment, TheRegionComesFromWhereTheMeasurementsCrossWhenTheCrossoverIsFlat)
{
    ParameterModel flat = CrossedSetting();
    flat.hpfType[kSlotLeftRight] = flat.lpfType[kSlotSub] = 0;
    // With the Sub 3 dB down they cross a little below the filters' corner.
    const SystemMeasurement m = Crossed([](double) { return Gain(-3.0); });
    const CrossoverRegion region = FindCrossoverRegion(flat, m);
    EXPECT_FALSE(region.fromSettings);
    const double split = region.CentreHz();
    EXPECT_LT(split, kCrossoverHz);
    EXPECT_NEAR(std::abs(Lr4High(split)) / std::abs(Gain(-3.0) * Lr4Low(split)), 1.0, 0.05);
    // A type outside the table is no filter either.
    ParameterModel unknown = flat;
    unknown.hpfType[kSlotLeftRight] = unknown.lpfType[kSlotSub] = kFilterTypes;
    EXPECT_FALSE(FindCrossoverRegion(unknown, m).fromSettings);
    const CrossoverRegion set = FindCrossoverRegion(CrossedSetting(), m);
    EXPECT_TRUE(set.fromSettings);
    EXPECT_NEAR(set.CentreHz(), FreqTable[FreqIndexFromHz(kCrossoverHz)], 1e-9);
}

// With the crossover flat, a Sub 5 dB low crosses the tops well below the
// filters' corner until its proposed level is in place: the region is
// found where they cross with it.
TEST(TuneProposal, FindsTheMeasuredCrossingWithTheSubsNewLevel)
{
    ParameterModel flat = CrossedSetting();
    flat.hpfType[kSlotLeftRight] = flat.lpfType[kSlotSub] = 0;
    const SystemMeasurement m = Crossed([](double) { return Gain(-5.0); });
    const TuneProposal p = ProposeTuning(m, flat, {});
    EXPECT_FALSE(p.region.fromSettings);
    EXPECT_NEAR(p.levels.changeDb, 5.0, 0.5);
    const double split = p.region.CentreHz();
    EXPECT_NEAR(std::abs(Lr4High(split)) / std::abs(Gain(p.levels.changeDb - 5.0) * Lr4Low(split)), 1.0, 0.1);
    EXPECT_NEAR(split, FindCrossoverRegion(flat, m, p.levels.changeDb).CentreHz(), 1e-9);
}

// Where the crossover is flat both play the region: neither's PEQ reaches
// into it; a crossover set splits it in its middle.
TEST(TuneProposal, WithTheCrossoverFlatNeitherChannelIsFittedInTheRegion)
{
    ParameterModel flat = CrossedSetting();
    flat.hpfType[kSlotLeftRight] = flat.lpfType[kSlotSub] = 0;
    const SystemMeasurement m = Crossed([](double) { return Gain(-3.0); });
    const std::vector<double>& hz = m.left.hz;
    const CrossoverRegion measured = FindCrossoverRegion(flat, m);
    EXPECT_EQ(ChannelFitOptions({}, flat, kSlotLeftRight, measured, hz).lowHz, measured.highHz);
    EXPECT_EQ(ChannelFitOptions({}, flat, kSlotSub, measured, hz).highHz, measured.lowHz);
    const CrossoverRegion set = FindCrossoverRegion(CrossedSetting(), m);
    EXPECT_EQ(ChannelFitOptions({}, CrossedSetting(), kSlotLeftRight, set, hz).lowHz, set.CentreHz());
}

TEST(LevelMatch, MovesTheSubToTheTopsOnLevelStepsWithinTheLimit)
{
    const SystemMeasurement m = Crossed([](double) { return Gain(-4.5); });
    const ParameterModel setting = CrossedSetting();
    const CrossoverRegion region = FindCrossoverRegion(setting, m);
    LevelMatch match = MatchSubLevel(m, setting, region, {});
    EXPECT_NEAR(match.neededDb, 4.5, 0.1);
    EXPECT_EQ(match.subGain, 128 + 9);
    EXPECT_EQ(match.missingDb, 0.0);

    match = MatchSubLevel(m, setting, region, {.subOffsetDb = -1.0, .maxRiseDb = 6.0});
    EXPECT_EQ(match.subGain, 128 + 7);

    match = MatchSubLevel(m, setting, region, {.subOffsetDb = 0.0, .maxRiseDb = 3.0});
    EXPECT_EQ(match.subGain, 128 + 6);
    EXPECT_NEAR(match.missingDb, 1.5, 0.1);
    EXPECT_FALSE(match.limitedByUnit);

    // At +4 dB already, the unit goes no higher than +6 dB.
    ParameterModel loud = setting;
    loud.gain[kSlotSub] = 128 + 8;
    match = MatchSubLevel(m, loud, region, {});
    EXPECT_EQ(match.subGain, kGainStepMax);
    EXPECT_NEAR(match.missingDb, 2.5, 0.1);
    EXPECT_TRUE(match.limitedByUnit);
}

}  // namespace

namespace {

// Tops rolling off below 45 Hz with a dip at 2 kHz, the right one 0.2 ms
// further; the Sub rolling off above 300 Hz with a room's bell at 50 Hz,
// 1.7 ms late and 4.5 dB low, through a present band of +4 dB at 63 Hz.
struct Room {
    ParameterModel setting = CrossedSetting();
    SystemMeasurement measured;

    Room()
    {
        PeqBand band{FreqIndexFromHz(63.0), 128 + 40, 30, Shelf::None, false};
        WritePeqBands(setting, kSlotSub, {band, PeqBand{}, PeqBand{}});
        const auto top = [](double hz) {
            return Lr4High(hz) * Butterworth2High(hz, 45.0) * PeakBiquad(2000.0, -6.0, 1.4).At(hz);
        };
        measured.left = Measure(top);
        measured.right = Measure([&](double hz) { return top(hz) * Late(0.2, hz); });
        measured.sub = Measure([&](double hz) {
            return 2.0 * Lr4Low(hz) * Butterworth2Low(hz, 300.0) * PeakBiquad(50.0, 6.0, 3.0).At(hz) *
                   PeqBandSound(band, hz) * Gain(-4.5) * Late(1.7, hz);
        });
        measured.system = SystemOutput(measured);
    }
};

// The room and its proposal, made once for the tests that read them.
const Room& TheRoom()
{
    static const Room room;
    return room;
}
const TuneProposal& TheProposal()
{
    static const TuneProposal proposal = ProposeTuning(TheRoom().measured, TheRoom().setting, {});
    return proposal;
}

TEST(TuneProposal, AlignsMatchesAndEqualisesASystemAsOneSetting)
{
    const Room& room = TheRoom();
    const TuneProposal& p = TheProposal();
    // The bands cut the room's bell in the Sub's band a little wider.
    EXPECT_NEAR(p.levels.subGain, 128 + 9, 1);
    // The speakers' roll-offs and the bands turn the phase too: the tops
    // 3.3 ms later or the Sub reversed and 1.4 ms later sum within 0.1 dB,
    // and the shorter delay is taken.
    const Alignment& a = p.alignment;
    EXPECT_TRUE(a.otherAsGood);
    EXPECT_LT(a.chosen.DelaySteps(), a.otherPolarity.DelaySteps());
    EXPECT_EQ(a.chosen.relativeSteps, a.subDelay - a.lrDelay);
    EXPECT_GT(p.sumAfter.deepestDipDb, -3.0);
    // Tops and Sub in phase: twice the tops' level, which their bands hold
    // over their whole band, not in the region (within about a dB of 0).
    EXPECT_NEAR(p.sumAfter.meanDb, 20.0 * std::log10(2.0), 1.2);
    EXPECT_GT(p.sumAfter.meanDb, p.sumBefore.meanDb);
    ASSERT_TRUE(p.peqLr.fit && p.peqSub.fit);
    EXPECT_LT(p.peqLr.fit->rmsAfterDb, 1.0);
    EXPECT_LT(p.peqSub.fit->rmsAfterDb, 1.0);
    // The present band is divided out: the Sub as predicted is as flat as
    // the fit says, not the fit's bands on top of the old one.
    const std::vector<double>& hz = room.measured.left.hz;
    const FitOptions sub = ChannelFitOptions({}, room.setting, kSlotSub, p.region, hz);
    EXPECT_GT(DeviationRms(LevelsOf(room.measured.sub), sub), 2.0);
    EXPECT_NEAR(DeviationRms(LevelsOf(p.predicted.sub), sub), p.peqSub.fit->rmsAfterDb, 0.05);

    // Each part changes its own fields only.
    EXPECT_TRUE(SameSetting(ProposedSetting(room.setting, p, {false, false, false, false}), room.setting));
    const ParameterModel levelsOnly = ProposedSetting(room.setting, p, {false, true, false, false});
    EXPECT_EQ(SettingDifferences(room.setting, levelsOnly).size(), 1u);
    EXPECT_EQ(levelsOnly.gain[kSlotSub], p.levels.subGain);
    EXPECT_EQ(p.setting.delay[kSlotLeftRight], p.alignment.lrDelay);
    EXPECT_EQ(ReadPeqBands(p.setting, kSlotSub), p.peqSub.fit->bands);
}

TEST(TuneVerify, SaysWhereTheMeasurementAfterLeftThePrediction)
{
    const Room& room = TheRoom();
    const TuneProposal& p = TheProposal();
    TuneVerification v = VerifyTuning(room.measured, p.predicted, p.predicted, room.setting, p.region, {});
    ASSERT_EQ(v.outputs.size(), 4u);
    for (const OutputCheck& o : v.outputs) {
        EXPECT_LT(o.rmsAfterDb, o.rmsBeforeDb) << o.output;
        EXPECT_EQ(o.largestMissDb, 0.0) << o.output;
    }
    EXPECT_FALSE(v.secondPassDue);
    EXPECT_NEAR(v.crossoverSum.deepestDipDb, p.sumAfter.deepestDipDb, 1e-9);

    // The microphone moved: the left top 1.5 dB up around 400 Hz.
    SystemMeasurement after = p.predicted;
    for (std::size_t i = 0; i < after.left.hz.size(); ++i)
        after.left.response[i] *= PeakBiquad(400.0, 1.5, 2.0).At(after.left.hz[i]);
    after.system = SystemOutput(after);
    v = VerifyTuning(room.measured, p.predicted, after, room.setting, p.region, {});
    EXPECT_EQ(v.outputs[0].output, "left");
    EXPECT_NEAR(v.outputs[0].largestMissDb, 1.5, 0.2);
    EXPECT_NEAR(v.outputs[0].largestMissHz, 400.0, 20.0);
    EXPECT_TRUE(v.secondPassDue);
    EXPECT_FALSE(v.missesPrediction);
    for (std::size_t i = 0; i < after.left.hz.size(); ++i)
        after.left.response[i] *= PeakBiquad(400.0, 1.5, 2.0).At(after.left.hz[i]);
    EXPECT_TRUE(VerifyTuning(room.measured, p.predicted, after, room.setting, p.region, {}).missesPrediction);
}

}  // namespace

namespace {

TEST(TuneProposal, SaysWhyAChannelBandTooNarrowForTheFitIsLeftAsItIs)
{
    const Room& room = TheRoom();
    ParameterModel setting = room.setting;
    setting.hpfFreq[kSlotLeftRight] = setting.lpfFreq[kSlotSub] = FreqIndexFromHz(40.0);  // below the fit's 40 Hz
    const TuneProposal p = ProposeTuning(room.measured, setting, {});
    EXPECT_FALSE(p.peqSub.fit);
    EXPECT_FALSE(p.peqSub.refused.empty());
    EXPECT_EQ(ReadPeqBands(p.setting, kSlotSub), ReadPeqBands(setting, kSlotSub));
    ASSERT_TRUE(p.peqLr.fit);
    const TuneVerification v = VerifyTuning(room.measured, p.predicted, p.predicted, setting, p.region, {});
    EXPECT_TRUE(std::isnan(v.outputs[2].rmsAfterDb));
    EXPECT_FALSE(std::isnan(v.outputs[0].rmsAfterDb));
}

}  // namespace
