#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "LiveProposal.h"
#include "model/Scales.h"
#include "tuning/SoundModel.h"
#include "tuning/SystemMeasurement.h"

namespace {

// A live trace at 1/24-octave points from 20 Hz to 20 kHz: `db` its level,
// `coherence` its coherence there.
LiveTrace Trace(const std::function<double(double)>& db, const std::function<double(double)>& coherence)
{
    LiveTrace trace;
    for (double hz = 20.0; hz <= 20000.0; hz *= std::exp2(1.0 / 24.0)) {
        trace.hz.push_back(hz);
        trace.db.push_back(db(hz));
        trace.phaseDeg.push_back(0.0);
        trace.coherence.push_back(coherence(hz));
        trace.known.push_back(true);
        trace.referenceDb.push_back(-20.0);
    }
    return trace;
}

double Trusted(double) { return 0.95; }

// A bell about an octave wide, of the unit's own shape, as the room would add it.
double Bell(double hz, double centreHz, double gainDb)
{
    const PeqBand band{FreqIndexFromHz(centreHz), kGainStepZero + static_cast<int>(std::lround(gainDb * 10.0)), 33,
                       Shelf::None, false};
    return LevelDb(PeqBandSound(band, hz));
}

ParameterModel Setting(bool crossed)
{
    ParameterModel setting{};
    LoadDefaults(setting);
    for (int slot : {kSlotLeftRight, kSlotSub})
        for (int band = 0; band < kPeqBands; ++band) setting.peqFlat[PeqIndex(slot, band)] = 1;
    setting.xoverOn[kSlotLeftRight] = crossed ? 1 : 0;
    setting.hpfType[kSlotLeftRight] = setting.lpfType[kSlotSub] = crossed ? 24 : 0;
    setting.hpfFreq[kSlotLeftRight] = setting.lpfFreq[kSlotSub] = FreqIndexFromHz(100.0);
    return setting;
}

// The bands' largest boost and deepest cut together, at the unit's steps.
std::pair<double, double> Extremes(const PeqBands& bands)
{
    double most = 0.0, least = 0.0;
    for (int k = 0; k < kFreqSteps; ++k) {
        const double db = LevelDb(PeqBandsSound(bands, FreqTable[k]));
        most = std::max(most, db);
        least = std::min(least, db);
    }
    return {most, least};
}

const PeqBand* LoudestBand(const PeqBands& bands)
{
    const PeqBand* loudest = nullptr;
    for (const PeqBand& band : bands)
        if (!band.flat && (!loudest || std::abs(band.gain - kGainStepZero) > std::abs(loudest->gain - kGainStepZero)))
            loudest = &band;
    return loudest;
}

TEST(LiveProposal, RefusesPlainlyWithoutEnoughCoherentPoints)
{
    // Trusted from kTrustedCoherence on, as the watch marks its points.
    const LiveTrace trusted = Trace([](double) { return 0.0; }, [](double) { return kTrustedCoherence; });
    EXPECT_TRUE(ProposeFromLive(trusted, std::nullopt, Setting(false), kSlotLeftRight).proposal);
    const LiveTrace noise = Trace([](double) { return 0.0; }, [](double) { return kTrustedCoherence - 0.01; });
    const LiveProposalOutcome none = ProposeFromLive(noise, std::nullopt, Setting(false), kSlotLeftRight);
    EXPECT_FALSE(none.proposal);
    EXPECT_EQ(none.refused, "No point of the live curve is coherent yet: nothing to propose for Left & Right "
                            "(does the programme play?).");

    // Coherent over a third of an octave alone: too few of the unit's steps to fit on.
    const LiveTrace narrow = Trace([](double) { return 0.0; }, [](double hz) { return hz > 900 && hz < 1100 ? 0.9 : 0.1; });
    const LiveProposalOutcome few = ProposeFromLive(narrow, std::nullopt, Setting(false), kSlotSub);
    EXPECT_FALSE(few.proposal);
    EXPECT_EQ(few.refused.rfind("Too little of the live curve is coherent in the band of Sub: ", 0), 0u) << few.refused;
    EXPECT_THROW(ProposeFromLive(narrow, std::nullopt, Setting(false), 1), std::invalid_argument);
}

// A bell the room (or a band moved by mistake) added is taken out where the
// curve is coherent; a larger step where it is not is left alone; the
// proposal's setting holds the fit's bands in the output's slot alone.
TEST(LiveProposal, TakesOutWhatTheCoherentCurveAddsWithinTheFitsLimits)
{
    const LiveTrace trace = Trace([](double hz) { return Bell(hz, 1000.0, 6.0) + (hz > 5000.0 ? 10.0 : 0.0); },
                                  [](double hz) { return hz > 5000.0 ? 0.4 : 0.95; });
    const ParameterModel setting = Setting(false);
    const LiveProposalOutcome outcome = ProposeFromLive(trace, std::nullopt, setting, kSlotLeftRight);
    ASSERT_TRUE(outcome.proposal) << outcome.refused;
    const LiveProposal& p = *outcome.proposal;
    EXPECT_TRUE(outcome.refused.empty());
    EXPECT_FALSE(p.towardStored);
    const PeqBand* main = LoudestBand(p.fit.bands);
    ASSERT_NE(main, nullptr);
    EXPECT_NEAR(FreqTable[main->freq], 1000.0, 100.0);
    EXPECT_NEAR((main->gain - kGainStepZero) * 0.1, -6.0, 1.0);
    EXPECT_LT(FreqTable[p.fit.lastStep], 5000.0);  // the fit stops where the coherence does
    EXPECT_LT(std::abs(LevelDb(PeqBandsSound(p.fit.bands, 8000.0))), 3.0);  // not the 10 dB beyond
    EXPECT_GT(p.rmsNowDb, 1.0);
    EXPECT_LT(p.fit.rmsAfterDb, 0.5);
    EXPECT_TRUE(ReadPeqBands(p.to, kSlotLeftRight) == p.fit.bands);
    EXPECT_TRUE(ReadPeqBands(p.to, kSlotSub) == ReadPeqBands(setting, kSlotSub));

    // A cut limited to 3 dB: no band, nor the bands together, cut deeper.
    FitOptions limited;
    limited.maxCutDb = 3.0;
    const LiveProposalOutcome shallow = ProposeFromLive(trace, std::nullopt, setting, kSlotLeftRight, limited);
    ASSERT_TRUE(shallow.proposal);
    const auto [most, least] = Extremes(shallow.proposal->fit.bands);
    EXPECT_LE(most, limited.maxBoostDb + 0.05);
    EXPECT_GE(least, -3.05);
    EXPECT_GT(shallow.proposal->fit.rmsAfterDb, p.fit.rmsAfterDb);
}

// Toward a stored trace the curve is brought back to it, not to flat; the
// output's present bands are divided out, so a band moved up by 6 dB since
// the trace was kept comes back as that band 6 dB lower.
TEST(LiveProposal, BringsTheCurveBackToTheStoredTraceThroughThePresentBands)
{
    ParameterModel setting = Setting(false);
    const PeqBand moved{FreqIndexFromHz(250.0), kGainStepZero + 60, 30, Shelf::None, false};
    WritePeqBands(setting, kSlotLeftRight, {moved, PeqBand{}, PeqBand{}});
    const auto room = [](double hz) { return Bell(hz, 2000.0, -5.0); };
    LevelCurve stored;
    for (double hz = 20.0; hz <= 20000.0; hz *= std::exp2(1.0 / 12.0)) {
        stored.hz.push_back(hz);
        stored.db.push_back(room(hz) + 3.0);  // a level of its own: the shape is what counts
    }
    const LiveTrace trace = Trace([&](double hz) { return room(hz) + LevelDb(PeqBandSound(moved, hz)); }, Trusted);
    const LiveProposalOutcome outcome = ProposeFromLive(trace, stored, setting, kSlotLeftRight);
    ASSERT_TRUE(outcome.proposal) << outcome.refused;
    const LiveProposal& p = *outcome.proposal;
    EXPECT_TRUE(p.towardStored);
    EXPECT_GT(p.rmsNowDb, 1.0);
    EXPECT_LT(p.fit.rmsAfterDb, 0.3);
    // The moved band's boost is undone: the proposed bands leave little of it.
    const PeqBands proposed = ReadPeqBands(p.to, kSlotLeftRight);
    EXPECT_LT(std::abs(LevelDb(PeqBandsSound(proposed, 250.0))), 1.0);
    EXPECT_NE(LiveProposalWords(p).find("Left & Right toward the stored trace: "), std::string::npos);
    EXPECT_NE(LiveProposalWords(p).find("dB predicted"), std::string::npos);
    EXPECT_EQ(LiveProposalLabel(kSlotSub), "Live PEQ Sub");
}

// Each output fits its own band of the system's curve: the Sub below the
// crossover region's middle, the tops above; both the whole range when
// neither crossover is set.
TEST(LiveProposal, KeepsEachOutputToItsBandOfTheCrossover)
{
    const LiveTrace trace = Trace([](double hz) { return Bell(hz, 60.0, 5.0) + Bell(hz, 3000.0, -4.0); }, Trusted);
    const auto fitted = [&](bool crossed, int slot) {
        const LiveProposalOutcome outcome = ProposeFromLive(trace, std::nullopt, Setting(crossed), slot);
        EXPECT_TRUE(outcome.proposal) << outcome.refused;
        return outcome.proposal ? outcome.proposal->fit : FitResult{};
    };
    const FitResult sub = fitted(true, kSlotSub), tops = fitted(true, kSlotLeftRight);
    EXPECT_NEAR(FreqTable[sub.firstStep], 40.0, 2.0);
    EXPECT_LE(FreqTable[sub.lastStep], 102.0);  // the region's middle, on the unit's steps
    EXPECT_GE(FreqTable[tops.firstStep], 98.0);
    EXPECT_NEAR(FreqTable[tops.lastStep], 16000.0, 500.0);
    EXPECT_NEAR(FreqTable[LoudestBand(sub.bands)->freq], 60.0, 8.0);
    EXPECT_NEAR(FreqTable[LoudestBand(tops.bands)->freq], 3000.0, 300.0);
    const FitResult whole = fitted(false, kSlotSub);
    EXPECT_EQ(whole.firstStep, sub.firstStep);
    EXPECT_EQ(whole.lastStep, tops.lastStep);
}

}  // namespace
