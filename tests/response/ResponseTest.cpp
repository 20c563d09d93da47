#include <gtest/gtest.h>

#include <cmath>

#include "model/Model.h"
#include "response/Response.h"

namespace {

constexpr int kButterworth12 = 19;
constexpr int kLinkRiley24 = 24;
constexpr int kQ10 = 7;
constexpr int kQ20 = 17;

class ResponseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model = ParameterModel{};
        LoadDefaults();
    }
};

void ExpectAllFinite(const ResponseCurve& r)
{
    for (int k = 0; k < kFreqSteps; ++k)
        ASSERT_TRUE(std::isfinite(r[k])) << "step " << k;
}

TEST_F(ResponseTest, IsFlatWithPassThroughFiltersAndNeutralBands)
{
    for (double v : ComputeResponse(kSlotLeftRight))
        EXPECT_EQ(v, 0.0);
}

TEST_F(ResponseTest, IgnoresLeftRightFiltersWhileItsCrossoverIsOffButNotTheSubs)
{
    for (int slot : {kSlotLeftRight, kSlotSub}) {
        model.lpfType[slot] = kButterworth12;
        model.lpfFreq[slot] = 238;
        model.xoverOn[slot] = 0;
    }
    for (double v : ComputeResponse(kSlotLeftRight))
        EXPECT_EQ(v, 0.0);
    EXPECT_NEAR(ComputeResponse(kSlotSub)[237], -3.0, 0.01);
}

TEST_F(ResponseTest, LowPassButterworthFollowsItsCornerAndStraightTail)
{
    model.lpfType[0] = kButterworth12;
    model.lpfFreq[0] = 238;  // 1000 Hz: the half-frequency anchor is step 202
    const ResponseCurve r = ComputeResponse(0);
    EXPECT_NEAR(r[237], -3.0, 0.01);
    EXPECT_NEAR(r[273], -12.0, 1e-9);
    EXPECT_NEAR(r[309], -21.0, 1e-9);
    for (int k = 0; k <= 212; ++k)
        EXPECT_EQ(r[k], 0.0) << "step " << k;
    EXPECT_LT(r[220], 0.0);
    EXPECT_LT(r[300], r[280]);
}

TEST_F(ResponseTest, LinkRileyLowPassIsSixDecibelsDownAtItsCornerPoint)
{
    model.lpfType[2] = kLinkRiley24;
    model.lpfFreq[2] = 238;
    EXPECT_NEAR(ComputeResponse(2)[237], -6.0, 0.01);
}

TEST_F(ResponseTest, HighPassCornersFromStep3To35GiveOneCurveCorneredAtStep35)
{
    model.hpfType[0] = kButterworth12;
    model.hpfFreq[0] = 35;
    const ResponseCurve reference = ComputeResponse(0);
    EXPECT_NEAR(reference[35], -3.0, 0.01);
    EXPECT_LT(reference[10], reference[30]);
    for (int step = 3; step < 35; ++step) {
        model.hpfFreq[0] = step;
        EXPECT_EQ(ComputeResponse(0), reference) << "corner step " << step;
    }
}

TEST_F(ResponseTest, QTypeLowPassOfQ1HasNoHumpAndReachesMinus12AtItsCorner)
{
    model.lpfType[0] = kQ10;
    model.lpfFreq[0] = 238;
    const ResponseCurve r = ComputeResponse(0);
    // Anchors: half-frequency step 202, corner step 238, so point 238 is step 273.
    for (int k = 0; k <= 237; ++k)
        EXPECT_EQ(r[k], 0.0) << "step " << k;
    EXPECT_NEAR(r[273], -12.0, 1e-9);
}

TEST_F(ResponseTest, QTypeHighPassAtTheLowestCornersPeaksWhereItsAnchorMoved)
{
    model.hpfType[0] = kQ20;  // a 6 dB hump
    const int expectedPeakStep[] = {0, 0, 15, 35};
    for (int freq = 0; freq <= 3; ++freq) {
        model.hpfFreq[0] = freq;
        const ResponseCurve r = ComputeResponse(0);
        const int peak = expectedPeakStep[freq];
        EXPECT_NEAR(r[peak], 6.0, 1e-9) << "corner step " << freq;
        ExpectAllFinite(r);
    }
}

TEST_F(ResponseTest, PeqBellReachesItsGainAtItsStepAndKeepsAFloorFarAway)
{
    model.peqGain[0] = 188;  // +6 dB
    model.peqBandwidth[0] = 41;
    const ResponseCurve r = ComputeResponse(0);
    EXPECT_NEAR(r[238], 6.0, 1e-9);
    const double rho = 0.6 + 2 * 0.3 / 47;
    const double floor = 6.0 * std::pow((1 - rho) / (1 + rho), 2);
    EXPECT_NEAR(floor, 0.35, 0.01);
    for (int k = 0; k <= 58; ++k)
        EXPECT_NEAR(r[k], floor, 1e-9) << "step " << k;
    EXPECT_GT(r[200], floor);
    EXPECT_LT(r[200], 6.0);
}

TEST_F(ResponseTest, ShelvesHoldTheirGainOnTheirSideAndBothTogetherEverywhere)
{
    model.peqGain[6] = 8;  // -12 dB on band 0 of the Sub
    model.peqLoShelf[6] = 1;
    ResponseCurve r = ComputeResponse(2);
    for (int k = 0; k <= 238; ++k)
        EXPECT_NEAR(r[k], -12.0, 1e-9) << "step " << k;
    EXPECT_GT(r[260], -12.0);

    model.peqLoShelf[6] = 0;
    model.peqHiShelf[6] = 1;
    r = ComputeResponse(2);
    for (int k = 238; k < kFreqSteps; ++k)
        EXPECT_NEAR(r[k], -12.0, 1e-9) << "step " << k;
    EXPECT_GT(r[200], -12.0);

    model.peqLoShelf[6] = 1;
    for (double v : ComputeResponse(2))
        EXPECT_NEAR(v, -12.0, 1e-9);
}

TEST_F(ResponseTest, FlatBandContributesNothingWhateverItsGain)
{
    for (int band = 0; band < 3; ++band) {
        model.peqGain[band] = 248;
        model.peqFlat[band] = 1;
    }
    for (double v : ComputeResponse(0))
        EXPECT_EQ(v, 0.0);
}

TEST_F(ResponseTest, QTypeLowPassAtTheLowestStepStaysFinite)
{
    // Both low-pass anchors fall on step 0 here.
    for (int type = kQ10; type <= kQ20; ++type) {
        model.lpfType[0] = type;
        model.lpfFreq[0] = 0;
        ExpectAllFinite(ComputeResponse(0));
    }
}

TEST_F(ResponseTest, StaysFiniteForEveryTypeFrequencyAndBandwidthAnImageCanCarry)
{
    for (int type = 0; type <= 27; ++type) {
        for (int freq = 0; freq < kFreqSteps; ++freq) {
            model.lpfType[2] = type;
            model.lpfFreq[2] = freq;
            model.hpfType[2] = type;
            model.hpfFreq[2] = freq;
            ExpectAllFinite(ComputeResponse(2));
        }
    }
    for (int byte = 0; byte < 256; ++byte) {
        model.peqBandwidth[0] = 43 - byte;
        model.peqGain[0] = byte;
        model.peqFreq[0] = byte % kFreqSteps;
        const ResponseCurve r = ComputeResponse(0);
        ExpectAllFinite(r);
        EXPECT_NEAR(r[byte % kFreqSteps], (byte - 128) * 0.1, 1e-6) << "bandwidth byte " << byte;
    }
}

}  // namespace
