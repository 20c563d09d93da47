#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tuning/IdealFilter.h"
#include "tuning/PeqFit.h"
#include "tuning/SoundModel.h"

namespace {

double Db(Complex h) { return 20.0 * std::log10(std::abs(h)); }

// The cookbook's bell evaluated from its formula: H(z) with A = 10^(g/40),
// alpha = sin(w0) / 2Q.
double CookbookBellDb(double f0, double gainDb, double q, double hz)
{
    const double a = std::pow(10.0, gainDb / 40.0), w0 = 2 * std::numbers::pi * f0 / 48000.0;
    const double alpha = std::sin(w0) / (2 * q);
    const Complex z1 = std::polar(1.0, -2 * std::numbers::pi * hz / 48000.0);
    const Complex h = (1 + alpha * a - 2 * std::cos(w0) * z1 + (1 - alpha * a) * z1 * z1) /
                      (1 + alpha / a - 2 * std::cos(w0) * z1 + (1 - alpha / a) * z1 * z1);
    return Db(h);
}

TEST(SoundModel, ABellIsTheCookbooksPeakWithTheTablesWidthBetweenItsHalfGainPoints)
{
    for (const int gain : {128 + 60, 128 - 90}) {  // +6 dB, -9 dB
        const PeqBand bell{kFreqStep1kHz, gain, 30, Shelf::None, false};
        const double octaves = *BandwidthOctaves(30), gainDb = (gain - 128) * 0.1;
        const double q = 1.0 / (2.0 * std::sinh(std::log(2.0) / 2.0 * octaves));
        EXPECT_NEAR(Db(PeqBandSound(bell, 1000.0)), gainDb, 1e-9);
        for (const double edge : {1000.0 * std::exp2(-octaves / 2), 1000.0 * std::exp2(octaves / 2)}) {
            EXPECT_NEAR(Db(PeqBandSound(bell, edge)), CookbookBellDb(1000.0, gainDb, q, edge), 1e-9);
            EXPECT_NEAR(Db(PeqBandSound(bell, edge)), gainDb / 2, 0.05);
            // The drawn curve is wider: well past half its gain there.
            EXPECT_GT(std::fabs(PeqBandsCurve({bell, PeqBand{}, PeqBand{}})[FreqIndexFromHz(edge)]),
                      std::fabs(gainDb / 2) + 0.5);
        }
    }
    EXPECT_EQ(PeqBandSound(PeqBand{kFreqStep1kHz, 188, 30, Shelf::None, true}, 1000.0), Complex(1.0));
    // Beyond the tables a band between steps is the one at their end.
    const Biquad end = PeqBandBiquad({double(kFreqStepHighest), double(kBandwidthStepWidest), 3.0});
    const Biquad beyond = PeqBandBiquad({kFreqStepHighest + 2.5, kBandwidthStepWidest + 1.5, 3.0});
    EXPECT_DOUBLE_EQ(Db(beyond.At(15000.0)), Db(end.At(15000.0)));
}

TEST(SoundModel, AShelfHasHalfItsGainAtItsFrequencyAndAllOfItFarBeyond)
{
    const PeqBand low{kFreqStep1kHz, 128 + 60, 20, Shelf::Low, false};
    const PeqBand high{kFreqStep1kHz, 128 - 60, 20, Shelf::High, false};
    EXPECT_NEAR(Db(PeqBandSound(low, 1000.0)), 3.0, 1e-6);
    EXPECT_NEAR(Db(PeqBandSound(low, 20.0)), 6.0, 0.01);
    EXPECT_NEAR(Db(PeqBandSound(low, 15000.0)), 0.0, 0.01);
    EXPECT_NEAR(Db(PeqBandSound(high, 1000.0)), -3.0, 1e-6);
    EXPECT_NEAR(Db(PeqBandSound(high, 20000.0)), -6.0, 0.05);
}

TEST(SoundModel, EachCrossoverTypeHasItsLevelAtTheCorner)
{
    const int step = FreqIndexFromHz(100.0);
    const double corner = FreqTable[step];
    struct Expect {
        int type;
        double db;
    };
    const double bw = -10.0 * std::log10(2.0);
    for (const Expect e : {Expect{1, bw},
                           {19, bw},
                           {20, bw},
                           {22, bw},
                           {25, bw},
                           {18, bw},
                           {21, bw},
                           {23, bw},
                           {26, bw},
                           {24, 2 * bw},
                           {27, 2 * bw},
                           {2, 20 * std::log10(0.5)},
                           {17, 20 * std::log10(2.0)}})
        for (const Pass pass : {Pass::High, Pass::Low})
            EXPECT_NEAR(Db(CrossoverSound(e.type, step, pass, corner)), e.db, 0.01) << e.type;
    EXPECT_EQ(CrossoverSound(0, step, Pass::Low, corner), Complex(1.0));
    // Link-Riley's two sides add to one all-pass; the 48 dB types fall 48 dB
    // an octave further on.
    for (const double hz : {30.0, 100.0, 150.0, 700.0})
        EXPECT_NEAR(std::abs(CrossoverSound(24, step, Pass::High, hz) + CrossoverSound(24, step, Pass::Low, hz)), 1.0,
                    1e-3);
    EXPECT_NEAR(
        Db(CrossoverSound(25, step, Pass::Low, 4 * corner)) - Db(CrossoverSound(25, step, Pass::Low, 2 * corner)),
        -48.0, 0.5);
}

TEST(SoundModel, AChannelIsItsLevelPolarityDelayCrossoverAndBands)
{
    ParameterModel model{};
    LoadDefaults(model);
    for (int band = 0; band < kPeqBands; ++band) model.peqFlat[PeqIndex(kSlotSub, band)] = 1;
    model.gain[kSlotSub] = 128 - 7;  // -3.5 dB
    model.polarity[kSlotSub] = 1;
    model.delay[kSlotSub] = 25;  // 2.5 ms: a quarter period at 100 Hz
    const Complex h = ChannelSound(model, kSlotSub, 100.0);
    EXPECT_NEAR(Db(h), -3.5, 1e-9);
    EXPECT_NEAR(std::arg(h), std::numbers::pi / 2, 1e-9);  // -1 x e^{-j pi/2}
    model.mute[kSlotSub] = 1;
    EXPECT_EQ(ChannelSound(model, kSlotSub, 100.0), Complex(0.0));
    // Left & Right's crossover switched off leaves its filters out.
    model.hpfType[kSlotLeftRight] = 24;
    model.hpfFreq[kSlotLeftRight] = FreqIndexFromHz(100.0);
    EXPECT_LT(Db(ChannelCrossoverSound(model, kSlotLeftRight, 50.0)), -10.0);
    model.xoverOn[kSlotLeftRight] = 0;
    EXPECT_EQ(ChannelCrossoverSound(model, kSlotLeftRight, 50.0), Complex(1.0));
}

TEST(PeqFit, WithTheSoundModelUndoesARoomsBellAndPredictsWithTheBandsSound)
{
    LevelCurve m;
    for (int k = 0; k < kFreqSteps; ++k) {
        const double hz = FreqTable[k];
        const double room = IdealFilterDb({FilterKind::Peak, 63.0, 8.0, 2.5}, hz) +
                            IdealFilterDb({FilterKind::Peak, 2500.0, -5.0, 1.4}, hz);
        m.hz.push_back(hz);
        m.db.push_back(75.0 + room);
    }
    FitOptions options;
    options.bandModel = BandModel::Sound;
    const FitResult r = FitPeq(m, options);
    EXPECT_GT(r.rmsBeforeDb, 2.0);
    EXPECT_LT(r.rmsAfterDb, 1.0);
    const int i = FreqIndexFromHz(63.0) - r.firstStep;
    EXPECT_NEAR(r.predicted[static_cast<std::size_t>(i)],
                r.measured[static_cast<std::size_t>(i)] + Db(PeqBandsSound(r.bands, FreqTable[r.firstStep + i])), 1e-4);
}

}  // namespace
