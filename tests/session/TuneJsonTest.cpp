#include <gtest/gtest.h>

#include <cmath>

#include "session/TuneJson.h"
#include "tests/support/TuningSamples.h"

namespace {

SystemMeasurement Measured() { return CrossedSystemMeasurement(); }

TEST(TuneJson, GivesEachPartInStepsAndUnits)
{
    ParameterModel setting{};
    LoadDefaults(setting);
    setting.hpfType[kSlotLeftRight] = setting.lpfType[kSlotSub] = 24;
    setting.hpfFreq[kSlotLeftRight] = setting.lpfFreq[kSlotSub] = FreqIndexFromHz(100.0);
    const TuneProposal proposal = ProposeTuning(Measured(), setting, {});
    const nlohmann::ordered_json j = TuneProposalJson(setting, proposal);
    const auto& p = j["proposal"];
    EXPECT_EQ(p["delay"]["channel"], "lr");
    EXPECT_EQ(p["delay"]["steps"], proposal.alignment.lrDelay);
    EXPECT_DOUBLE_EQ(p["delay"]["ms"].get<double>(), proposal.alignment.lrDelay * 0.1);
    EXPECT_EQ(p["subPolarity"], "inverted");
    EXPECT_EQ(p["polarityReversed"], true);
    EXPECT_NEAR(proposal.levels.subGain, 128 + 6, 1);
    EXPECT_EQ(p["levels"]["sub"]["gain"], proposal.levels.subGain);
    EXPECT_DOUBLE_EQ(p["levels"]["sub"]["gainDb"].get<double>(), (proposal.levels.subGain - 128) * 0.5);
    EXPECT_EQ(p["levels"]["lr"]["gain"], 128);
    // The bands of the proposed setting, as eq fit --json gives them.
    ASSERT_EQ(p["peq"]["sub"]["peq"].size(), 3u);
    EXPECT_EQ(p["peq"]["sub"]["peq"][0]["gain"], proposal.setting.peqGain[PeqIndex(kSlotSub, 0)]);
    EXPECT_TRUE(p["peq"]["sub"]["values"][0].contains("gainDb"));
    EXPECT_TRUE(p["peq"]["lr"].contains("rmsAfterDb"));
    const auto& outputs = j["predicted"]["outputs"];
    ASSERT_EQ(outputs.size(), 4u);
    EXPECT_EQ(outputs[3]["output"], "system");
    EXPECT_EQ(outputs[2]["db"].size(), Measured().sub.hz.size());
    EXPECT_GT(j["predicted"]["sumAfter"]["meanDb"].get<double>(), j["predicted"]["sumBefore"]["meanDb"].get<double>());

    const SystemMeasurement& after = proposal.predicted;
    const nlohmann::ordered_json v =
        TuneVerificationJson(VerifyTuning(Measured(), after, after, setting, proposal.region, {}));
    ASSERT_EQ(v["outputs"].size(), 4u);
    EXPECT_EQ(v["outputs"][2]["output"], "sub");
    EXPECT_EQ(v["secondPassDue"], false);
    EXPECT_DOUBLE_EQ(v["crossoverSumDb"].get<double>(), proposal.sumAfter.meanDb);
}

TEST(TuneJson, SeveralPositionsGiveEachPositionsSumAndItsOwnBest)
{
    ParameterModel setting{};
    LoadDefaults(setting);
    SystemMeasurement later = Measured();
    for (std::size_t i = 0; i < later.sub.hz.size(); ++i)
        later.sub.response[i] *= std::polar(1.0, -2.0 * 3.141592653589793 * later.sub.hz[i] * 0.004);
    const std::vector positions{Measured(), later};
    const TuneProposal proposal = ProposeTuningAtPositions(positions, setting, {});
    const nlohmann::ordered_json j = TuneProposalJson(setting, proposal);
    ASSERT_EQ(j["positions"].size(), 2u);
    EXPECT_EQ(j["positions"][1]["addsAfterDb"].get<double>(), proposal.positionSums[1].worthAfterDb);
    EXPECT_TRUE(j["positions"][0]["best"]["delay"].contains("steps"));
    EXPECT_FALSE(TuneProposalJson(setting, ProposeTuning(Measured(), setting, {})).contains("positions"));
    // The prediction drawn is the positions' mean power, as the measurement's average beside it.
    const auto& average = j["predicted"]["average"];
    ASSERT_EQ(average.size(), 4u);
    EXPECT_EQ(average[3]["output"], "system");
    const LevelCurve first = LevelsOf(proposal.predictedPositions[0].system);
    const LevelCurve second = LevelsOf(proposal.predictedPositions[1].system);
    double largestApart = 0;
    for (std::size_t i = 0; i < first.db.size(); ++i) {
        const double mean = 10 * std::log10((std::pow(10, first.db[i] / 10) + std::pow(10, second.db[i] / 10)) / 2);
        EXPECT_NEAR(average[3]["db"][i].get<double>(), mean, 1e-9);
        largestApart = std::max(largestApart, std::abs(first.db[i] - second.db[i]));
    }
    EXPECT_GT(largestApart, 0.3);  // the positions' systems differ: the average is neither
    EXPECT_FALSE(TuneProposalJson(setting, ProposeTuning(Measured(), setting, {}))["predicted"].contains("average"));

    SpatialVerification v;
    v.positions.resize(2);
    v.worse = {2};
    const nlohmann::ordered_json checked = SpatialVerificationJson(v);
    EXPECT_EQ(checked["positions"].size(), 2u);
    EXPECT_EQ(checked["worse"], nlohmann::json::array({2}));
    // A pass's verification carries them beside its own checks; one position's has none.
    const nlohmann::ordered_json pass = TuneVerificationJson(TuneVerification{}, v);
    EXPECT_TRUE(pass.contains("outputs"));
    EXPECT_EQ(pass["worse"], nlohmann::json::array({2}));
    EXPECT_FALSE(TuneVerificationJson(TuneVerification{}).contains("positions"));
}

TEST(TuneJson, TheSystemCurveOfPositionsWithoutASystemSweepIsTheirOutputsSum)
{
    SystemMeasurement quieter = Measured();
    for (Complex& h : quieter.sub.response) h *= 0.5;
    const std::vector positions{Measured(), quieter};
    ASSERT_TRUE(positions[0].system.hz.empty());
    const nlohmann::ordered_json j = SystemCurveJson(positions);
    EXPECT_EQ(j["output"], "system");
    ASSERT_EQ(j["positions"].size(), 2u);
    const std::size_t at = 100;  // a point where the Sub plays
    double power = 0;
    for (std::size_t p = 0; p < 2; ++p) {
        const SystemMeasurement& m = positions[p];
        const double db = 20 * std::log10(std::abs(m.left.response[at] + m.right.response[at] + m.sub.response[at]));
        EXPECT_NEAR(j["positions"][p]["db"][at].get<double>(), db, 1e-9);
        power += std::pow(10, db / 10) / 2;
    }
    EXPECT_NEAR(j["db"][at].get<double>(), 10 * std::log10(power), 1e-9);
    EXPECT_FALSE(SystemCurveJson(std::vector{Measured()}).contains("positions"));
}

}  // namespace
