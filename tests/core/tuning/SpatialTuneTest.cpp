// Tuning from several positions, at the edges of its rules: the PEQ on the
// average only as far as the positions agree, the Sub's delay for the worst
// position, its level on the average, and the verification of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/core/tuning/CrossedSystem.h"
#include "tuning/SpatialFit.h"
#include "tuning/TuneVerify.h"

namespace {

// A level curve on the 1/48-octave grid: 0 dB, with `db` added from lowHz to highHz.
LevelCurve Plateau(double lowHz = 1.0, double highHz = 1.0, double db = 0.0)
{
    LevelCurve curve;
    for (double hz = 10.0; hz <= 20000.0; hz *= std::exp2(1.0 / 48.0)) {
        curve.hz.push_back(hz);
        curve.db.push_back(hz >= lowHz && hz <= highHz ? db : 0.0);
    }
    return curve;
}

// A bell `db` high at 1 kHz, a quarter octave to either side of its half height.
LevelCurve Resonance(double db)
{
    LevelCurve curve = Plateau();
    for (std::size_t i = 0; i < curve.hz.size(); ++i)
        curve.db[i] = db * std::exp(-std::pow(std::log2(curve.hz[i] / 1000.0) / 0.21, 2) / 2.0);
    return curve;
}

std::string BandsText(const FitResult& fit)
{
    std::string text;
    for (const PeqBand& band : fit.bands)
        text += " [" + std::to_string(band.freq) + " " + std::to_string(band.gain) + " " +
                std::to_string(band.bandwidth) + " " + std::to_string(static_cast<int>(band.shelf)) +
                (band.flat ? " flat" : "") + "]";
    return text;
}

// The bands' curve the fit proposes at the unit's frequency step nearest hz.
double BandsAt(const FitResult& fit, double hz)
{
    const auto i = static_cast<std::size_t>(FreqIndexFromHz(hz) - fit.firstStep);
    return fit.predicted.at(i) - fit.measured.at(i);
}

TEST(LevelsOverPositions, TheMeanPowerAndTheSpreadAtEachPoint)
{
    const std::vector<LevelCurve> positions{Plateau(), Plateau(10.0, 20000.0, 20.0 * std::log10(2.0))};
    const SpatialLevels average = LevelsOverPositions(positions);
    EXPECT_NEAR(average.mean.db[100], 10.0 * std::log10(2.5), 1e-9);  // powers 1 and 4
    EXPECT_NEAR(average.spreadDb[100], 20.0 * std::log10(2.0), 1e-9);
    EXPECT_THROW(LevelsOverPositions(std::vector<LevelCurve>{}), std::invalid_argument);
    LevelCurve shorter = Plateau();
    shorter.hz.pop_back();
    shorter.db.pop_back();
    EXPECT_THROW(LevelsOverPositions(std::vector{Plateau(), shorter}), std::invalid_argument);
}

TEST(SpatialFitOptions, NoBoostWhereThePositionsDisagreeAndADeepCutOnlyWhereAllHaveThePeak)
{
    // An octave around 1 kHz at one position only, the other flat: once both
    // are at one level the plateau stands some 12% lower.
    const auto boostAt1k = [](double db) {
        const FitOptions limited = SpatialFitOptions({}, std::vector{Plateau(), Plateau(707.0, 1414.0, db)});
        return limited.boostLimitAtStep.at(static_cast<std::size_t>(FreqIndexFromHz(1000.0)));
    };
    EXPECT_EQ(boostAt1k(-7.2), 0.0);
    EXPECT_EQ(boostAt1k(-6.3), FitOptions{}.maxBoostDb);
    EXPECT_EQ(boostAt1k(7.2), 0.0);  // a peak at one seat is as much a disagreement

    const auto cutAt1k = [](double first, double second) {
        const FitOptions limited =
            SpatialFitOptions({}, std::vector{Plateau(707.0, 1414.0, first), Plateau(707.0, 1414.0, second)});
        return limited.cutLimitAtStep.at(static_cast<std::size_t>(FreqIndexFromHz(1000.0)));
    };
    EXPECT_NEAR(cutAt1k(8.0, 6.0), 6.0 * (1 - 0.12), 0.3);  // the peak both have
    EXPECT_EQ(cutAt1k(8.0, 2.0), kUnsharedCutDb);
    EXPECT_EQ(cutAt1k(20.0, 20.0), FitOptions{}.maxCutDb);  // never beyond the options' own
    EXPECT_EQ(cutAt1k(0.0, 0.0), kUnsharedCutDb);
}

TEST(FitPeqAtPositions, ADipAtOneSeatIsNotFilledAPeakAtOneIsCutNoMoreThanShared)
{
    // Half an octave 12 dB down at one of two seats: 2.7 dB down on average.
    const std::vector dipAtOne{Plateau(), Plateau(840.0, 1190.0, -12.0)};
    EXPECT_GT(BandsAt(FitPeq(LevelsOverPositions(dipAtOne).mean), 1000.0), 1.0);  // the average alone would fill it
    EXPECT_LE(BandsAt(FitPeqAtPositions(dipAtOne, {}), 1000.0), 0.05);

    // A resonance 8 dB up at both seats: cut; at one seat only: no more than 3 dB.
    const FitResult shared = FitPeqAtPositions(std::vector{Resonance(8.0), Resonance(8.0)}, {});
    EXPECT_LT(BandsAt(shared, 1000.0), -5.0) << BandsText(shared);
    const FitResult atOne = FitPeqAtPositions(std::vector{Plateau(), Resonance(8.0)}, {});
    EXPECT_GE(BandsAt(atOne, 1000.0), -kUnsharedCutDb - 0.05);
    EXPECT_LT(BandsAt(atOne, 1000.0), -1.0);
}

TEST(FitPeqAtPositions, AFitWhoseLevelWouldFollowCutsNoDeeperThanSharedBelowTheRestOfItsRange)
{
    // A Sub's range with a bump at its low end at one of two seats: a shelf
    // lifting the rest of the range would cut the bump by more than is
    // shared without any band cutting, and lift the channel past its level.
    FitOptions options;
    options.lowHz = 40.0;
    options.highHz = 120.0;
    const FitResult fit = FitPeqAtPositions(std::vector{Plateau(), Plateau(10.0, 50.0, 8.0)}, options);
    double lowest = 0.0, mean = 0.0;
    for (std::size_t i = 0; i < fit.measured.size(); ++i) {
        const double bands = fit.predicted[i] - fit.measured[i];
        lowest = std::min(lowest, bands);
        mean += bands / static_cast<double>(fit.measured.size());
    }
    EXPECT_GE(lowest, -kUnsharedCutDb - 0.05) << BandsText(fit);
    EXPECT_LT(lowest, -1.0) << BandsText(fit);  // the shared part is cut
    EXPECT_LT(std::fabs(mean), 1.0) << BandsText(fit);
}

// The Sub as late as `ms` at one position.
SystemMeasurement SubLate(double ms)
{
    return Crossed([ms](double hz) { return Late(ms, hz); });
}

// Every candidate tried by the test itself at each position: the worth of
// the worst position of the best candidate and the deepest dip it leaves;
// `clearOfDips`: among those that leave no dip deeper than 3 dB, if any.
struct WorstSeat {
    double worthDb = -std::numeric_limits<double>::infinity();
    double deepestDipDb = 0.0;
};
WorstSeat BruteForceWorstSeat(const std::vector<SystemMeasurement>& positions, const CrossoverRegion& region,
                              bool clearOfDips = false)
{
    WorstSeat best, bestClear;
    for (const double sign : {1.0, -1.0})
        for (int r = -125; r <= 125; ++r) {
            WorstSeat worst{std::numeric_limits<double>::infinity(), 0.0};
            for (const SystemMeasurement& m : positions) {
                double sum = 0.0;
                int n = 0;
                for (std::size_t i = 0; i < m.left.hz.size(); ++i) {
                    const double hz = m.left.hz[i];
                    if (hz < region.lowHz || hz > region.highHz) continue;
                    const Complex tops = m.left.response[i] + m.right.response[i];
                    const Complex sub = sign * m.sub.response[i] * Late(r * 0.1, hz);
                    const double db = 20.0 * std::log10(std::abs(tops + sub) / std::max(std::abs(tops), std::abs(sub)));
                    sum += db;
                    worst.deepestDipDb = std::min(worst.deepestDipDb, db);
                    ++n;
                }
                worst.worthDb = std::min(worst.worthDb, sum / n);
            }
            if (worst.worthDb > best.worthDb) best = worst;
            if (worst.deepestDipDb >= -kAlignmentDipDb && worst.worthDb > bestClear.worthDb) bestClear = worst;
        }
    return clearOfDips && std::isfinite(bestClear.worthDb) ? bestClear : best;
}

TEST(AlignSubAtPositions, TakesTheDelayWhoseWorstPositionFaresBestAndNamesTheSeatsThatLoseByIt)
{
    const ParameterModel setting = CrossedSetting();
    const std::vector positions{SubLate(0.5), SubLate(0.6), SubLate(3.5)};
    const CrossoverRegion region = FindCrossoverRegion(setting, positions.front());
    const SpatialAlignment a = AlignSubAtPositions(positions, setting, region, 0.0);
    EXPECT_NEAR(a.chosen.meanDb, BruteForceWorstSeat(positions, region, true).worthDb, 1e-6);
    // Between the two groups, not at the two seats' that outnumber the third.
    EXPECT_GT(a.lrDelay, 8);
    EXPECT_LT(a.lrDelay, 33);
    ASSERT_EQ(a.positions.size(), 3u);
    EXPECT_EQ(a.positions[0].own.relativeSteps, -5);
    EXPECT_TRUE(a.positions[0].anotherBetter);
    EXPECT_TRUE(a.positions[2].anotherBetter);
    // The worst seat gains what the two near the tops' timing give up.
    double worstBefore = 0.0;
    for (const PositionSum& p : a.positions) {
        EXPECT_GE(p.worthAfterDb, a.chosen.meanDb - 1e-9);
        worstBefore = std::min(worstBefore, p.worthBeforeDb);
    }
    EXPECT_GT(a.chosen.meanDb, worstBefore + 1.0);
    EXPECT_LT(a.positions[0].worthAfterDb, a.positions[0].worthBeforeDb);

    // Seats whose Sub comes 0, 2 and 6 ms late: the delay that adds loudest
    // at the worst seat (by 0.1 dB) leaves a cancellation of 11 dB at one.
    const std::vector dipped{SubLate(0.0), SubLate(2.0), SubLate(6.0)};
    ASSERT_LT(BruteForceWorstSeat(dipped, region).deepestDipDb, -kAlignmentDipDb);
    const SpatialAlignment clear = AlignSubAtPositions(dipped, setting, region, 0.0);
    EXPECT_NEAR(clear.chosen.meanDb, BruteForceWorstSeat(dipped, region, true).worthDb, 1e-6);
    EXPECT_GE(clear.chosen.deepestDipDb, -kAlignmentDipDb);
    for (const PositionSum& p : clear.positions) EXPECT_GE(p.after.deepestDipDb, -kAlignmentDipDb - 1e-9);

    // One position: its own best, no other better.
    const SpatialAlignment one = AlignSubAtPositions(std::vector{SubLate(1.7)}, setting, region, 0.0);
    EXPECT_EQ(one.lrDelay, 17);
    EXPECT_FALSE(one.positions[0].anotherBetter);
    EXPECT_NEAR(one.positions[0].after.minDb, 20.0 * std::log10(2.0), 0.01);
    EXPECT_THROW(AlignSubAtPositions({}, setting, region, 0.0), std::invalid_argument);
}

TEST(MatchSubLevelAtPositions, MatchesOnTheMeanPowerOfThePositions)
{
    const ParameterModel setting = CrossedSetting();
    const std::vector positions{Crossed([](double) { return Gain(-6.0); }), Crossed([](double) { return Gain(0.0); })};
    const CrossoverRegion region = FindCrossoverRegion(setting, positions[1]);
    const LevelMatch one = MatchSubLevel(positions[1], setting, region, {});
    const LevelMatch both = MatchSubLevelAtPositions(positions, setting, region, {});
    EXPECT_NEAR(both.topsDb, one.topsDb, 1e-9);
    EXPECT_NEAR(both.subDb, one.subDb + 10.0 * std::log10((std::norm(Gain(-6.0)) + 1.0) / 2.0), 1e-9);
    EXPECT_EQ(both.subGain - one.subGain, 4);  // 2.04 dB short of the louder seat: four 0.5 dB steps
}

TEST(VerifyAtPositions, EachPositionAndTheAverageBeforeAndAfterAndTheOneThatGotWorse)
{
    const ParameterModel setting = CrossedSetting();
    const SystemMeasurement flat = SubLate(0.0);
    SystemMeasurement bumped = flat;
    for (std::size_t i = 0; i < bumped.left.hz.size(); ++i)
        if (bumped.left.hz[i] > 1000.0 && bumped.left.hz[i] < 4000.0) {
            bumped.left.response[i] *= Gain(6.0);
            bumped.right.response[i] *= Gain(6.0);
        }
    const CrossoverRegion region = FindCrossoverRegion(setting, flat);
    const std::vector before{flat, flat}, after{flat, bumped};
    const SpatialVerification v = VerifyAtPositions(before, after, region, {});
    ASSERT_EQ(v.positions.size(), 2u);
    EXPECT_NEAR(v.positions[0].rmsAfterDb, v.positions[0].rmsBeforeDb, 1e-9);
    EXPECT_GT(v.positions[1].rmsAfterDb, v.positions[1].rmsBeforeDb + kWorsePositionDb);
    EXPECT_EQ(v.worse, std::vector<int>{2});
    EXPECT_GT(v.averageRmsAfterDb, v.averageRmsBeforeDb);
    EXPECT_LT(v.averageRmsAfterDb, v.positions[1].rmsAfterDb);
    EXPECT_NEAR(v.positions[1].sumAfter.meanDb, v.positions[1].sumBefore.meanDb, 1e-9);  // the region is untouched
    EXPECT_TRUE(VerifyAtPositions(before, before, region, {}).worse.empty());
    EXPECT_THROW(VerifyAtPositions(before, std::vector{flat}, region, {}), std::invalid_argument);
}

// The crossed system with its tops `db` louder from 1 to 4 kHz.
SystemMeasurement TopsBumped(double db)
{
    SystemMeasurement m = SubLate(0.0);
    for (std::size_t i = 0; i < m.left.hz.size(); ++i)
        if (m.left.hz[i] > 1000.0 && m.left.hz[i] < 4000.0) {
            m.left.response[i] *= Gain(db);
            m.right.response[i] *= Gain(db);
        }
    return m;
}

// A seat is named from just beyond kWorsePositionDb worse, not at just below.
TEST(VerifyAtPositions, ASeatIsNamedOnlyBeyondTheLimit)
{
    const SystemMeasurement flat = SubLate(0.0);
    const CrossoverRegion region = FindCrossoverRegion(CrossedSetting(), flat);
    const std::vector before{flat, flat};
    const auto verified = [&](double db) {
        return VerifyAtPositions(before, std::vector{flat, TopsBumped(db)}, region, {});
    };
    const auto worseBy = [&](double db) {
        const PositionCheck second = verified(db).positions[1];  // a copy: the verification is a temporary
        return second.rmsAfterDb - second.rmsBeforeDb;
    };
    // The bump that makes the second seat worse by `db` (the worse, the larger).
    const auto bumpFor = [&](double db) {
        double low = 0.0, high = 12.0;
        for (int i = 0; i < 40; ++i) (worseBy((low + high) / 2) < db ? low : high) = (low + high) / 2;
        return low;
    };
    const double justBelow = bumpFor(kWorsePositionDb - 0.01), justBeyond = bumpFor(kWorsePositionDb + 0.01);
    ASSERT_NEAR(worseBy(justBelow), kWorsePositionDb - 0.01, 1e-3);
    EXPECT_TRUE(verified(justBelow).worse.empty());
    EXPECT_EQ(verified(justBeyond).worse, std::vector<int>{2});
}

// Several positions: the first one's checks, and a second pass due (or the
// prediction missed) where any position's measurement lies that far off its own.
TEST(VerifyTuningAtPositions, TheFirstSeatsChecksAndWhatAnySeatMisses)
{
    const ParameterModel setting = CrossedSetting();
    const SystemMeasurement flat = SubLate(0.0);
    const CrossoverRegion region = FindCrossoverRegion(setting, flat);
    const std::vector same{flat, flat};
    const auto verified = [&](double secondSeatOffDb) {
        return VerifyTuningAtPositions(same, same, std::vector{flat, TopsBumped(secondSeatOffDb)}, setting, region, {});
    };
    const TuneVerification none = verified(0.0);
    EXPECT_FALSE(none.secondPassDue || none.missesPrediction);
    const TuneVerification off = verified(kSecondPassDb + 0.2);
    EXPECT_TRUE(off.secondPassDue);
    EXPECT_FALSE(off.missesPrediction);
    ASSERT_EQ(off.outputs.size(), 4u);
    EXPECT_NEAR(off.outputs[0].largestMissDb, 0.0, 1e-9) << "the first seat's checks";
    EXPECT_TRUE(verified(kPredictionMissDb + 0.2).missesPrediction);
    EXPECT_FALSE(verified(kSecondPassDb - 0.2).secondPassDue);
    EXPECT_THROW(VerifyTuningAtPositions(same, std::vector{flat}, same, setting, region, {}), std::invalid_argument);
    EXPECT_THROW(VerifyTuningAtPositions(same, same, std::vector{flat}, setting, region, {}), std::invalid_argument);
}

TEST(ProposeTuningAtPositions, OnePositionIsTheSinglePassAndSeveralKeepEachPositionsSum)
{
    const ParameterModel setting = CrossedSetting();
    const TuneProposal single = ProposeTuning(SubLate(1.7), setting, {});
    const TuneProposal one = ProposeTuningAtPositions(std::vector{SubLate(1.7)}, setting, {});
    EXPECT_EQ(one.alignment.lrDelay, single.alignment.lrDelay);
    EXPECT_EQ(one.levels.subGain, single.levels.subGain);
    EXPECT_TRUE(one.positionSums.empty());
    EXPECT_EQ(one.predictedPositions.size(), 1u);

    const std::vector positions{SubLate(0.5), SubLate(3.5), SubLate(1.0)};
    const TuneProposal several = ProposeTuningAtPositions(positions, setting, {});
    ASSERT_EQ(several.positionSums.size(), 3u);
    EXPECT_EQ(several.predictedPositions.size(), 3u);
    // Left & Right wait for the Sub somewhere between its earliest and latest seat.
    EXPECT_GT(several.alignment.lrDelay, 5);
    EXPECT_LT(several.alignment.lrDelay, 35);
    EXPECT_THROW(ProposeTuningAtPositions({}, setting, {}), std::invalid_argument);
}

// Both tops ring at 1 kHz, 6 dB, and Right arrives `rightLateMs` after
// Left; the Sub `subMs` late.
SystemMeasurement RingingSeat(double subMs, double rightLateMs)
{
    SystemMeasurement m = SubLate(subMs);
    const auto ringing = [](double hz) {
        const Complex s = S(hz, 1000.0);
        const double a = std::pow(10.0, 6.0 / 40.0), q = 2.0;
        return Lr4High(hz) * (s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0);
    };
    m.left = Measure(ringing);
    m.right = Measure([&](double hz) { return ringing(hz) * Late(rightLateMs, hz); });
    return m;
}

// The bands' curve at hz of a channel's fit, or 0 dB without one.
double ChannelPeqAt(const ChannelPeq& peq, double hz) { return peq.fit ? BandsAt(*peq.fit, hz) : 0.0; }

TEST(ProposeTuningAtPositions, LeavesOutABandTheSeatsDoNotGainFrom)
{
    // At every seat Right arrives half a period of the ringing after Left:
    // the tops' mean power has the peak, what the seats hear has a notch
    // there. A cut would only deepen the notch.
    const ParameterModel setting = CrossedSetting();
    const std::vector positions{RingingSeat(0.5, 0.5), RingingSeat(1.0, 0.5), RingingSeat(1.5, 0.5)};
    const TuneProposal p = ProposeTuningAtPositions(positions, setting, {});

    std::vector<LevelCurve> tops;
    for (const SystemMeasurement& m : positions) tops.push_back(PowerMeanLevels(m.left, m.right));
    const FitOptions options = ChannelFitOptions({}, setting, kSlotLeftRight, p.region, positions.front().left.hz);
    const FitResult onTheAverage = FitPeqAtPositions(tops, options);
    ASSERT_LT(BandsAt(onTheAverage, 1000.0), -3.0) << BandsText(onTheAverage);
    ASSERT_TRUE(p.peqLr.fit.has_value());
    EXPECT_GT(BandsAt(*p.peqLr.fit, 1000.0), -0.5) << BandsText(*p.peqLr.fit);
    // The channel's figures are those of the bands it keeps; the cut is named.
    EXPECT_GT(p.peqLr.fit->rmsAfterDb, onTheAverage.rmsAfterDb + 0.5);
    ASSERT_FALSE(p.peqLr.leftOut.empty());
    EXPECT_LT(PeqBandsCurve({p.peqLr.leftOut.front()})[FreqIndexFromHz(1000.0)], -3.0);

    // One position keeps what it fits.
    const TuneProposal one = ProposeTuningAtPositions(std::vector{positions.front()}, setting, {});
    EXPECT_LT(ChannelPeqAt(one.peqLr, 1000.0), -3.0);
    EXPECT_TRUE(one.peqLr.leftOut.empty());
}

TEST(ProposeTuningAtPositions, LeavesNoBandOutThatTakesASeatPastWhereItStarted)
{
    // The unit's present cut takes the ringing away where Left and Right
    // arrive together (the last seat). The three seats with the notch
    // would gain more from leaving the fitted cut out than the last loses,
    // but the last would lose more than kLeftOutWorseDb of where it started.
    const ParameterModel flat = CrossedSetting();
    const std::vector bare{RingingSeat(0.5, 0.5), RingingSeat(1.0, 0.5), RingingSeat(1.5, 0.5), RingingSeat(1.0, 0.0)};
    const TuneProposal plain = ProposeTuning(bare.back(), flat, {});
    ASSERT_LT(ChannelPeqAt(plain.peqLr, 1000.0), -3.0);
    const ParameterModel setting = ProposedSetting(flat, plain, {.alignment = false, .levels = false});
    std::vector<SystemMeasurement> positions;
    for (const SystemMeasurement& m : bare) positions.push_back(PredictedMeasurement(m, flat, setting));

    const TuneProposal p = ProposeTuningAtPositions(positions, setting, {});
    EXPECT_LT(ChannelPeqAt(p.peqLr, 1000.0), -3.0);
}

TEST(ProposeLaterPass, JudgesTheAlignmentAgainWithTheNewBandsKeepingTheLevelAndTheRegion)
{
    // The measurement after a first pass shows a bump in the Sub's band at
    // every seat that the first did not (the room missed the prediction):
    // the later pass cuts it, and the cut turns the Sub's phase where it
    // meets the tops.
    const auto seat = [](double ms, double bumpDb) {
        return Crossed([ms, bumpDb](double hz) {
            const Complex s = S(hz, 70.0);
            const double a = std::pow(10.0, bumpDb / 40.0), q = 2.0;
            return Late(ms, hz) * (s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0);
        });
    };
    const ParameterModel setting = CrossedSetting();
    const TuneProposal first =
        ProposeTuningAtPositions(std::vector{seat(0.5, 0.0), seat(1.0, 0.0), seat(1.5, 0.0)}, setting, {});
    const ParameterModel applied = ProposedSetting(setting, first, {});
    std::vector<SystemMeasurement> after;
    for (const double ms : {0.5, 1.0, 1.5}) after.push_back(PredictedMeasurement(seat(ms, 8.0), setting, applied));

    const TuneProposal later = ProposeLaterPass(after, applied, {}, first.region);
    EXPECT_EQ(later.region.lowHz, first.region.lowHz);
    EXPECT_EQ(later.levels.changeDb, 0.0);
    EXPECT_EQ(later.setting.gain[kSlotSub], applied.gain[kSlotSub]);
    ASSERT_TRUE(later.peqSub.fit.has_value());
    EXPECT_NE(later.alignment.chosen.relativeSteps, first.alignment.chosen.relativeSteps);
    // With the new bands in place, the best for the worst seat of every step.
    EXPECT_NEAR(later.alignment.chosen.meanDb,
                BruteForceWorstSeat(later.predictedPositions, later.region, true).worthDb, 1e-6);
}

}  // namespace
