// A measurement sequence as tuning takes it: the outputs on one time base.
#include <gtest/gtest.h>

#include <cmath>

#include "TuneMeasurement.h"
#include "tests/signal/SequenceRig.h"

namespace {

const std::vector<Biquad> kTops{HighPass(kRate, 80.0, 0.707)};
const std::vector<Biquad> kSub{LowPass(kRate, 100.0, 0.707), HighPass(kRate, 25.0, 0.707)};

// Left, right, sub and system through known systems at known delays (in
// samples), analysed as the sequence analyses them.
MeasurementResult Sequence(double leftDelay, double rightDelay, double subDelay)
{
    SequenceRig rig;
    const MeasuredOutput names[] = {MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub,
                                    MeasuredOutput::System};
    for (const MeasuredOutput name : names) {
        const OutputAnalysisShape shape = AnalysisShapeOf(name);
        rig.Add(shape.band, shape.window, shape.arrivalLowPassHz);
    }
    const std::size_t left = 0, right = 1, sub = 2, system = 3;
    rig.Play(left, kTops, leftDelay);
    rig.Play(right, kTops, rightDelay);
    rig.Play(sub, kSub, subDelay);
    rig.Play(system, kTops, leftDelay);
    rig.Play(system, kTops, rightDelay);
    rig.Play(system, kSub, subDelay);
    SequenceAnalysis analysis = rig.Analyse();
    MeasurementResult result;
    for (std::size_t i = 0; i < analysis.outputs.size(); ++i) {
        OutputResult output;
        output.output = names[i];
        output.verdict = analysis.outputs[i].verdict.verdict;
        output.arrivalMs = analysis.outputs[i].arrivalMs;
        output.response = analysis.outputs[i].response;
        result.outputs.push_back(output);
    }
    return result;
}

// Each output's phase holds its arrival: right against left (the same
// loudspeaker) turns by their difference, and the system measured is the
// complex sum of the three measured alone.
TEST(TuneMeasurement, OutputsShareOneTimeBase)
{
    const double leftDelay = 96.0, rightDelay = 163.4, subDelay = 310.0;  // 2, 3.4 and 6.46 ms
    const SystemMeasurement m = SystemMeasurementOf(Sequence(leftDelay, rightDelay, subDelay));
    CheckSystemMeasurement(m);
    EXPECT_NEAR(m.right.arrivalMs - m.left.arrivalMs, (rightDelay - leftDelay) / kRate * 1000.0, 0.02);
    int compared = 0;
    for (std::size_t i = 0; i < m.left.hz.size(); ++i) {
        const double hz = m.left.hz[i];
        if (hz < 200.0 || hz > 8000.0) continue;
        const double turn = -2.0 * std::numbers::pi * hz * (rightDelay - leftDelay) / kRate;
        ASSERT_NEAR(std::remainder(std::arg(m.right.response[i] / m.left.response[i]) - turn, 2 * std::numbers::pi),
                    0.0, 0.03)
            << hz << " Hz";
        ++compared;
    }
    EXPECT_GT(compared, 200);
    for (std::size_t i = 0; i < m.left.hz.size(); ++i) {
        const double hz = m.left.hz[i];
        if (hz < 40.0 || hz > 8000.0) continue;
        const Complex sum = m.left.response[i] + m.right.response[i] + m.sub.response[i];
        // Against the three together in size: the tops' comb has nulls.
        const double size = std::abs(m.left.response[i]) + std::abs(m.right.response[i]) + std::abs(m.sub.response[i]);
        ASSERT_LT(std::abs(m.system.response[i] - sum), 0.03 * size) << hz << " Hz";
    }
}

TEST(TuneMeasurement, AMissingOrSpoiltOutputOrAnUnrestoredMuteIsRefusedByName)
{
    MeasurementResult result = Sequence(96.0, 96.0, 96.0);
    result.outputs[2].verdict = Verdict::Clipped;
    result.outputs[2].verdictText = "clipped";
    EXPECT_THROW(
        try { SystemMeasurementOf(result); } catch (const TuneMeasurementError& e) {
            EXPECT_STREQ(e.what(), "The sub measurement is not ok: clipped.");
            throw;
        },
        TuneMeasurementError);
    result.outputs[2].verdict = Verdict::Ok;
    result.outputs.pop_back();  // no system sweep: the system is the outputs' sum
    EXPECT_TRUE(SystemMeasurementOf(result).system.hz.empty());
    result.outputs.pop_back();
    EXPECT_THROW(
        try { SystemMeasurementOf(result); } catch (const TuneMeasurementError& e) {
            EXPECT_STREQ(e.what(), "The sub output was not measured.");
            throw;
        },
        TuneMeasurementError);
    result = Sequence(96.0, 96.0, 96.0);
    result.unrestored = {{MuteChannel::Sub, false}};
    EXPECT_THROW(SystemMeasurementOf(result), TuneMeasurementError);
}

// Of several positions the one that is not ok is named; a single one is not.
TEST(TuneMeasurement, APositionNotOkIsNamedOfSeveral)
{
    const MeasurementResult sequence = Sequence(96.0, 96.0, 96.0);
    PositionsResult round;
    round.positions = {sequence, sequence};
    EXPECT_EQ(SystemMeasurementsOf(round).size(), 2u);
    round.positions[1].outputs[0].verdict = Verdict::Clipped;
    round.positions[1].outputs[0].verdictText = "clipped";
    const auto message = [](const PositionsResult& result) -> std::string {
        try {
            SystemMeasurementsOf(result);
        } catch (const TuneMeasurementError& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_EQ(message(round), "Position 2 of 2: The left measurement is not ok: clipped.");
    round.positions.erase(round.positions.begin());
    EXPECT_EQ(message(round), "The left measurement is not ok: clipped.");
}

}  // namespace
