#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "model/Model.h"
#include "response/GraphCurve.h"
#include "response/Response.h"
#include "response/ResponseCsv.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

constexpr int kButterworth12 = 19;
constexpr int kLinkRiley24 = 24;
constexpr int kQ10 = 7;
constexpr int kQ20 = 17;

class ResponseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }
};

void ExpectFlat(const ResponseCurve& r, double level = 0.0)
{
    for (int k = 0; k < kFreqSteps; ++k) ASSERT_NEAR(r[k], level, 1e-9) << "step " << k;
}

TEST_F(ResponseTest, IsFlatForNeutralSettingsAndIgnoresLeftRightFiltersWhileItsCrossoverIsOff)
{
    ExpectFlat(ComputeResponse(model, kSlotLeftRight));
    for (int slot : {kSlotLeftRight, kSlotSub}) {
        model.lpfType[slot] = kButterworth12;
        model.lpfFreq[slot] = 238;
        model.xoverOn[slot] = 0;
        model.peqGain[PeqIndex(slot, 1)] = 248;
        model.peqFlat[PeqIndex(slot, 1)] = 1;  // a bypassed band adds nothing
    }
    ExpectFlat(ComputeResponse(model, kSlotLeftRight));
    // The Sub's switch is never sent and does not bypass its filters.
    EXPECT_NEAR(ComputeResponse(model, kSlotSub)[237], -3.0, 0.01);
}

TEST_F(ResponseTest, LowPassFollowsItsCornerValueAndStraightTail)
{
    model.lpfType[0] = kButterworth12;
    model.lpfFreq[0] = 238;  // 1000 Hz: the half-frequency anchor is step 202
    ResponseCurve r = ComputeResponse(model, 0);
    EXPECT_NEAR(r[237], -3.0, 0.01);
    EXPECT_NEAR(r[273], -12.0, 1e-9);
    EXPECT_NEAR(r[309], -21.0, 1e-9);
    for (int k = 0; k <= 212; ++k) ASSERT_EQ(r[k], 0.0) << "step " << k;

    model.lpfType[0] = kLinkRiley24;
    EXPECT_NEAR(ComputeResponse(model, 0)[237], -6.0, 0.01);
}

TEST_F(ResponseTest, HighPassCornersFromStep3To35GiveOneCurveCorneredAtStep35)
{
    model.hpfType[0] = kButterworth12;
    model.hpfFreq[0] = 35;
    const ResponseCurve reference = ComputeResponse(model, 0);
    EXPECT_NEAR(reference[35], -3.0, 0.01);
    EXPECT_LT(reference[10], reference[30]);
    for (int step = 3; step < 35; ++step) {
        model.hpfFreq[0] = step;
        EXPECT_EQ(ComputeResponse(model, 0), reference) << "corner step " << step;
    }
}

TEST_F(ResponseTest, QTypesHumpOnlyAboveQ1AndPeakAtTheirMovedLowestAnchors)
{
    model.lpfType[0] = kQ10;
    model.lpfFreq[0] = 238;
    const ResponseCurve r = ComputeResponse(model, 0);
    for (int k = 0; k <= 237; ++k) ASSERT_EQ(r[k], 0.0) << "step " << k;
    EXPECT_NEAR(r[273], -12.0, 1e-9);  // the corner step's point

    model.lpfType[0] = 0;
    model.hpfType[0] = kQ20;  // a 6 dB hump
    const int expectedPeakStep[] = {0, 0, 15, 35};
    for (int freq = 0; freq <= 3; ++freq) {
        model.hpfFreq[0] = freq;
        EXPECT_NEAR(ComputeResponse(model, 0)[expectedPeakStep[freq]], 6.0, 1e-9) << "corner step " << freq;
    }
}

TEST_F(ResponseTest, PeqBellReachesItsGainAtItsStepAndKeepsAFloorFarAway)
{
    model.peqGain[0] = 188;  // +6 dB
    model.peqBandwidth[0] = 41;
    const ResponseCurve r = ComputeResponse(model, 0);
    EXPECT_NEAR(r[238], 6.0, 1e-9);
    for (int k = 0; k <= 58; ++k) ASSERT_NEAR(r[k], 0.3459, 1e-4) << "step " << k;
    EXPECT_GT(r[200], r[58]);
    EXPECT_LT(r[200], 6.0);
}

// Half a circle above its step (180 steps) the bell meets its far floor and
// stays on it: the last angle of the curve is the floor's own.
TEST_F(ResponseTest, PeqBellMeetsItsFarFloorExactlyHalfACircleAboveItsStep)
{
    model.peqGain[0] = 188;  // +6 dB
    model.peqFreq[0] = 100;
    const ResponseCurve r = ComputeResponse(model, 0);
    for (int k = 280; k < kFreqSteps; ++k) ASSERT_NEAR(r[k], r[kFreqSteps - 1], 1e-12) << "step " << k;
    EXPECT_GT(r[279], r[280]);
}

TEST_F(ResponseTest, ShelvesHoldTheirGainOnTheirSideAndBothTogetherEverywhere)
{
    const int band = PeqIndex(kSlotSub, 0);
    model.peqGain[band] = 8;  // -12 dB
    model.peqLoShelf[band] = 1;
    ResponseCurve r = ComputeResponse(model, kSlotSub);
    for (int k = 0; k <= 238; ++k) ASSERT_NEAR(r[k], -12.0, 1e-9) << "step " << k;
    EXPECT_GT(r[260], -12.0);

    model.peqLoShelf[band] = 0;
    model.peqHiShelf[band] = 1;
    r = ComputeResponse(model, kSlotSub);
    for (int k = 238; k < kFreqSteps; ++k) ASSERT_NEAR(r[k], -12.0, 1e-9) << "step " << k;
    EXPECT_GT(r[200], -12.0);

    model.peqLoShelf[band] = 1;
    ExpectFlat(ComputeResponse(model, kSlotSub), -12.0);
}

TEST_F(ResponseTest, StaysFiniteForEveryTypeFrequencyAndBandwidthAnImageCanCarry)
{
    // Q-type low-passes at step 0 have both anchors on step 0.
    for (int type = 0; type <= 27; ++type) {
        for (int freq = 0; freq < kFreqSteps; ++freq) {
            model.lpfType[2] = type;
            model.lpfFreq[2] = freq;
            model.hpfType[2] = type;
            model.hpfFreq[2] = freq;
            for (double v : ComputeResponse(model, 2))
                ASSERT_TRUE(std::isfinite(v)) << "type " << type << " step " << freq;
        }
    }
    for (int byte = 0; byte < 256; ++byte) {
        model.peqBandwidth[0] = 43 - byte;
        model.peqGain[0] = byte;
        model.peqFreq[0] = byte % kFreqSteps;
        const ResponseCurve r = ComputeResponse(model, 0);
        for (double v : r) ASSERT_TRUE(std::isfinite(v)) << "bandwidth byte " << byte;
        EXPECT_NEAR(r[byte % kFreqSteps], (byte - 128) * 0.1, 1e-6) << "bandwidth byte " << byte;
    }
}

TEST_F(ResponseTest, CsvHoldsEveryStepOfBothChannelsAsComputed)
{
    model.lpfType[kSlotLeftRight] = kButterworth12;
    model.lpfFreq[kSlotLeftRight] = 238;
    model.peqGain[PeqIndex(kSlotSub, 0)] = 200;
    const ResponseCurve leftRight = ComputeResponse(model, kSlotLeftRight);
    const ResponseCurve sub = ComputeResponse(model, kSlotSub);

    std::istringstream csv(ResponseCsv(model));
    std::string line;
    ASSERT_TRUE(std::getline(csv, line));
    EXPECT_EQ(line, "step,Hz,Left&Right dB,Sub dB");
    int rows = 0;
    for (; std::getline(csv, line); ++rows) {
        std::istringstream fields(line);
        int step = -1;
        double hz = 0, leftRightDb = 0, subDb = 0;
        char comma[3] = {};
        fields >> step >> comma[0] >> hz >> comma[1] >> leftRightDb >> comma[2] >> subDb;
        ASSERT_TRUE(fields.eof() && !fields.fail()) << line;
        ASSERT_EQ(step, rows);
        EXPECT_DOUBLE_EQ(hz, FreqTable[step]);
        EXPECT_NEAR(leftRightDb, leftRight[step], 5e-7) << line;
        EXPECT_NEAR(subDb, sub[step], 5e-7) << line;
    }
    EXPECT_EQ(rows, kFreqSteps);
    EXPECT_LT(leftRight[300], -12.0);  // the columns really differ
    EXPECT_NEAR(sub[model.peqFreq[PeqIndex(kSlotSub, 0)]], 7.2, 1e-6);
}

TEST_F(ResponseTest, CurveRunsStayInThePlotAndBreakWhereTheCurveLeavesItOrIsNotANumber)
{
    ResponseCurve levels{};
    levels[1] = 3.0;
    levels[100] = std::numeric_limits<double>::quiet_NaN();
    levels[200] = -40.0;  // below the floor: the run ends and starts again on the bottom edge
    levels[300] = 1e300;
    const auto runs = CurveRuns(levels);
    ASSERT_EQ(runs.size(), 4u);
    for (const auto& run : runs)
        for (const GraphPoint& point : run) {
            EXPECT_GE(point.y, kPlotTop);
            EXPECT_LE(point.y, kPlotBottom);
        }
    // Step 1's level also starts the curve at the left edge.
    EXPECT_EQ(runs[0].front().x, kPlotLeft);
    EXPECT_EQ(runs[0].front().y, LevelRow(3.0));
    EXPECT_EQ(runs[0].back().x, StepColumn(99));
    EXPECT_EQ(runs[1].front().x, StepColumn(101));
    // Level 0 (row 90) to -40 dB (row 290): the floor's row 165 is 3/8 of the way.
    EXPECT_DOUBLE_EQ(runs[1].back().x, StepColumn(199) + 0.375);
    EXPECT_EQ(runs[1].back().y, kPlotBottom);
    EXPECT_DOUBLE_EQ(runs[2].front().x, StepColumn(201) - 0.375);
    EXPECT_EQ(runs[2].back().y, kPlotTop);
    EXPECT_EQ(runs[3].back().x, StepColumn(kFreqStepHighest));
    EXPECT_EQ(LevelRow(0.0), kZeroDbY);
    EXPECT_EQ(RowLevel(kPlotTop), 15.0);
}

}  // namespace

namespace {

TEST_F(ResponseTest, ABandBetweenStepsIsTheDrawnBandAtWholeSteps)
{
    const int band = PeqIndex(kSlotSub, 1);
    model.peqFlat[band] = 0;
    model.peqFreq[band] = 200;
    model.peqGain[band] = 128 + 60;
    model.peqBandwidth[band] = 30;
    model.peqLoShelf[band] = 1;
    const ResponseCurve drawn = ComputeResponse(model, kSlotSub);
    ResponseCurve shape{};
    AddPeqBandShape(shape, {200.0, 30.0, 6.0, true, false});
    for (int k = 0; k < kFreqSteps; ++k) ASSERT_NEAR(shape[k], drawn[k], 1e-12) << "step " << k;

    // Halfway between two steps a bell is the same on either side; the
    // bandwidth is held to the table.
    ResponseCurve between{};
    AddPeqBandShape(between, {200.5, 50.0, 6.0, false, false});
    ResponseCurve widest{};
    AddPeqBandShape(widest, {200.5, 41.0, 6.0, false, false});
    EXPECT_NEAR(between[200], between[201], 1e-9);
    EXPECT_LT(between[200], 6.0);
    EXPECT_GT(between[200], between[199]);
    EXPECT_EQ(between, widest);
}

}  // namespace
