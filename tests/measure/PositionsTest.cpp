// Several positions taken together per output: the average's verdict,
// figures and curves, and the number of positions a measurement takes.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "PositionsMeasurement.h"

namespace {

OutputResult Heard(MeasuredOutput output, double arrivalMs, double peakDbfs, std::optional<double> snrDb,
                   std::vector<double> db)
{
    OutputResult result;
    result.output = output;
    result.verdictText = "ok";
    result.arrivalMs = arrivalMs;
    result.peakDbfs = peakDbfs;
    result.snrDb = snrDb;
    result.response.hz = {100.0, 200.0};
    result.response.db = std::move(db);
    return result;
}

MeasurementResult Position(std::vector<OutputResult> outputs)
{
    MeasurementResult result;
    result.outputs = std::move(outputs);
    return result;
}

TEST(Positions, TheAverageIsOkOnlyWhereEveryPositionIsAndTakesTheWorstFigures)
{
    OutputResult noisy = Heard(MeasuredOutput::Sub, 12.0, -30.0, 14.0, {-10.0, -10.0});
    noisy.verdict = Verdict::TooNoisy;
    noisy.verdictText = "too noisy (SNR below 20 dB): 31.5 Hz octave 14.0 dB";
    OutputResult silent = Heard(MeasuredOutput::Sub, 0.0, -90.0, std::nullopt, {});
    silent.response = {};
    silent.verdict = Verdict::NoSignal;
    silent.verdictText = "no signal";
    const std::vector<MeasurementResult> positions = {
        Position({Heard(MeasuredOutput::Left, 9.0, -12.0, 40.0, {0.0, -3.0}),
                  Heard(MeasuredOutput::Sub, 10.0, -20.0, 30.0, {0.0, 0.0})}),
        Position({Heard(MeasuredOutput::Left, 10.0, -9.0, 35.0, {0.0, 3.0}), noisy}),
        Position({Heard(MeasuredOutput::Left, 11.0, -15.0, 45.0, {0.0, 0.0}), silent}),
    };
    const auto averages = AverageOutputs(positions);
    ASSERT_EQ(averages.size(), 2u);
    const OutputAverage& left = averages[0];
    EXPECT_EQ(left.output, MeasuredOutput::Left);
    EXPECT_EQ(left.verdict, Verdict::Ok);
    EXPECT_EQ(left.verdictText, "ok");
    EXPECT_DOUBLE_EQ(left.arrivalMs, 10.0);
    EXPECT_DOUBLE_EQ(left.peakDbfs, -9.0);
    EXPECT_DOUBLE_EQ(left.snrDb.value(), 35.0);
    EXPECT_NEAR(left.response.spreadDb[1], 6.0, 1e-12);
    EXPECT_NEAR(left.response.db[1], 10 * std::log10((std::pow(10, -0.3) + std::pow(10, 0.3) + 1) / 3), 1e-9);

    // The first fault named with its position; a position without a
    // response (no signal) is left out of the curves.
    const OutputAverage& sub = averages[1];
    EXPECT_EQ(sub.verdict, Verdict::TooNoisy);
    EXPECT_EQ(sub.verdictText, "position 2: " + noisy.verdictText);
    EXPECT_DOUBLE_EQ(sub.snrDb.value(), 14.0);
    EXPECT_DOUBLE_EQ(sub.arrivalMs, 11.0);
    EXPECT_NEAR(sub.response.db[0], 10 * std::log10((1 + 0.1) / 2), 1e-9);
    EXPECT_NEAR(sub.response.spreadDb[0], 10.0, 1e-12);

    const auto unheard = AverageOutputs({Position({silent})});
    EXPECT_TRUE(unheard[0].response.hz.empty());
    EXPECT_FALSE(unheard[0].snrDb);
    EXPECT_TRUE(AverageOutputs({}).empty());
}

// Refused before anything plays: the sweep's own settings are looked at
// only for a number of positions within the range.
TEST(Positions, AreOneToEight)
{
    const std::atomic<bool> cancel{false};
    MeasureSettings tooLoud;
    tooLoud.sweep.levelDbfs = 0.0;
    for (const int count : {0, 1, kMostPositions, kMostPositions + 1}) {
        tooLoud.positions = count;
        try {
            MeasurePositions(tooLoud, nullptr, {}, {}, cancel);
            ADD_FAILURE() << count;
        } catch (const MeasureError& e) {
            EXPECT_EQ(e.kind(), MeasureError::Kind::Settings);
            const bool outOfRange = count < 1 || count > kMostPositions;
            EXPECT_EQ(std::string(e.what()).find("1 to 8") != std::string::npos, outOfRange) << e.what();
        }
    }
}

}  // namespace
