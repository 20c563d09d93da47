// The measurement's settings at the edges of their ranges: each face takes
// its refusals from here, so each range is tried once, at both ends.
#include <gtest/gtest.h>

#include <limits>

#include "MeasureSettings.h"

namespace {

// The field refused, or nothing when the settings pass.
std::optional<MeasureField> Refused(const MeasureSettings& settings)
{
    try {
        CheckMeasureSettings(settings);
        return std::nullopt;
    } catch (const SettingError& error) {
        return error.field();
    }
}

template <typename Change>
std::optional<MeasureField> RefusedWith(Change change)
{
    MeasureSettings settings;
    change(settings);
    return Refused(settings);
}

TEST(MeasureSettings, TheDefaultsPass) { EXPECT_EQ(Refused(MeasureSettings{}), std::nullopt); }

TEST(MeasureSettings, TheSweepsLengthLevelAndRateAtTheirEdges)
{
    const auto length = [](double seconds) { return RefusedWith([=](MeasureSettings& s) { s.sweep.seconds = seconds; }); };
    EXPECT_EQ(length(kShortestSweepSeconds), std::nullopt);
    EXPECT_EQ(length(kLongestSweepSeconds), std::nullopt);
    EXPECT_EQ(length(kShortestSweepSeconds - 0.01), MeasureField::Length);
    EXPECT_EQ(length(kLongestSweepSeconds + 0.01), MeasureField::Length);
    EXPECT_EQ(length(std::numeric_limits<double>::quiet_NaN()), MeasureField::Length);

    const auto level = [](double dbfs, bool loud) {
        return RefusedWith([=](MeasureSettings& s) {
            s.sweep.levelDbfs = dbfs;
            s.sweep.allowLoud = loud;
        });
    };
    EXPECT_EQ(level(kQuietestSweepDbfs, false), std::nullopt);
    EXPECT_EQ(level(kQuietestSweepDbfs - 0.1, false), MeasureField::Level);
    EXPECT_EQ(level(kSweepLoudDbfs, false), std::nullopt);
    EXPECT_EQ(level(kSweepLoudDbfs + 0.1, false), MeasureField::Level);
    EXPECT_EQ(level(0.0, true), std::nullopt);
    EXPECT_EQ(level(0.1, true), MeasureField::Level);

    for (int rate : kMeasureRates) EXPECT_EQ(RefusedWith([=](MeasureSettings& s) { s.sweep.rate = rate; }), std::nullopt);
    for (double rate : {0.0, 48001.0, 192000.0})
        EXPECT_EQ(RefusedWith([=](MeasureSettings& s) { s.sweep.rate = rate; }), MeasureField::Rate) << rate;
}

TEST(MeasureSettings, ChannelsAndOutputs)
{
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.microphoneChannel = 0; }), MeasureField::MicrophoneChannel);
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.loopbackChannel = 0; }), MeasureField::LoopbackChannel);
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.loopbackChannel = 1; }), MeasureField::LoopbackChannel);
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.loopbackChannel = 2; }), std::nullopt);
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.outputs.clear(); }), MeasureField::Outputs);
    EXPECT_EQ(RefusedWith([](MeasureSettings& s) { s.outputs = {MeasuredOutput::Sub, MeasuredOutput::Sub}; }),
              MeasureField::Outputs);
    EXPECT_EQ(OutputsOfList("sub,left"), (std::vector{MeasuredOutput::Sub, MeasuredOutput::Left}));
    EXPECT_EQ(OutputsOfList(OutputListText(MeasureSettings{}.outputs)), MeasureSettings{}.outputs);
    EXPECT_THROW(OutputsOfList("left,centre"), SettingError);
}

TEST(MeasureSettings, PositionsAtTheirEdges)
{
    const auto positions = [](int count) { return RefusedWith([=](MeasureSettings& s) { s.positions = count; }); };
    EXPECT_EQ(positions(1), std::nullopt);
    EXPECT_EQ(positions(kMostPositions), std::nullopt);
    EXPECT_EQ(positions(0), MeasureField::Positions);
    EXPECT_EQ(positions(kMostPositions + 1), MeasureField::Positions);
    EXPECT_EQ(RangeText(MeasureField::Positions), "1 to 8");
}

TEST(MeasureSettings, ARefusalSaysTheRangeAndTheValue)
{
    MeasureSettings settings;
    settings.sweep.seconds = 45;
    try {
        CheckMeasureSettings(settings);
        FAIL();
    } catch (const SettingError& error) {
        EXPECT_STREQ(error.what(), "The sweep's length is 0.5 to 10 s: 45 is not.");
    }
    EXPECT_EQ(RangeText(MeasureField::Rate), "44100, 48000 or 96000 Hz");
}

}  // namespace
