// The tuning pass's logic with a unit of the test's own: a change sent as
// one step and put back when a message fails, and what the pass refuses
// before it sends anything.
#include <gtest/gtest.h>

#include "TunePass.h"
#include "TuneTexts.h"
#include "link/ParameterMessages.h"

namespace {

// A unit that acknowledges each payload but the ones the test names, and
// keeps what it was sent.
class FakeUnit : public TuneUnit {
public:
    ParameterModel held{};
    bool answers = true;
    std::optional<int> failAt;    // the payload of this number (0-based) is not acknowledged
    std::optional<int> failFrom;  // nor any from this one on
    std::vector<std::vector<std::uint8_t>> sent;
    int applies = 0;
    MuteState mutes;

    MuteState Current() override { return mutes; }
    bool Send(MuteChannel channel, bool muted) override
    {
        (channel == MuteChannel::Sub ? mutes.sub : mutes.leftRight) = muted;
        return true;
    }
    std::optional<ParameterModel> Setting() override { return answers ? std::optional(held) : std::nullopt; }
    ApplyResult Apply(const ParameterModel& from, const ParameterModel& to, const std::string&) override
    {
        ++applies;
        const ApplyResult result =
            SendSettingStep(from, to, [this](const std::vector<std::uint8_t>& payload) { return Take(payload); });
        if (result.Done()) held = to;
        return result;
    }
    bool Take(const std::vector<std::uint8_t>& payload)
    {
        const int number = static_cast<int>(sent.size());
        sent.push_back(payload);
        return number != failAt && !(failFrom && number >= *failFrom);
    }
};

// The payload of a message with the values of `model`.
std::vector<std::uint8_t> PayloadOf(ParameterModel model, const SettingMessage& message)
{
    model.curChannel = message.slot;
    model.curBand = message.band;
    return ParameterPayload(model, message.parameterId);
}

ParameterModel Changed()
{
    ParameterModel to{};
    to.gain[kSlotSub] = to.gain[kSlotSub] - 6;  // down: sent first
    to.delay[kSlotSub] = 34;
    to.polarity[kSlotSub] = 1;
    to.gain[kSlotLeftRight] = to.gain[kSlotLeftRight] + 2;  // up: sent last
    return to;
}

TEST(SendSettingStep, SendsTheMessagesBetweenLevelsDownFirst)
{
    FakeUnit unit;
    const ParameterModel to = Changed();
    const ApplyResult result = unit.Apply(unit.held, to, "tune");
    EXPECT_TRUE(result.Done());
    EXPECT_EQ(unit.sent, MessagesBetween(ParameterModel{}, to));
}

// A message that fails may have been taken or not: it is sent back as well,
// with everything sent before it, the last first.
TEST(SendSettingStep, AMessageThatFailsMidwayPutsBackWhatWasSent)
{
    FakeUnit unit;
    const ParameterModel from = unit.held, to = Changed();
    const std::vector<SettingMessage> messages = SettingMessages(from, to);
    ASSERT_GE(messages.size(), 3u);
    unit.failAt = 1;
    const ApplyResult result = unit.Apply(from, to, "tune");
    EXPECT_EQ(result.outcome, ApplyResult::Outcome::PutBack);
    EXPECT_NE(result.error.find("the setting is as it was"), std::string::npos) << result.error;
    EXPECT_TRUE(result.leftChanged.empty());
    const std::vector<std::vector<std::uint8_t>> expected{PayloadOf(to, messages[0]), PayloadOf(to, messages[1]),
                                                          PayloadOf(from, messages[1]), PayloadOf(from, messages[0])};
    EXPECT_EQ(unit.sent, expected);
}

TEST(SendSettingStep, WhatCannotBePutBackIsNamed)
{
    FakeUnit unit;
    const ParameterModel from = unit.held, to = Changed();
    unit.failFrom = 1;  // the unit stops answering at the second message
    const ApplyResult result = unit.Apply(from, to, "tune");
    EXPECT_EQ(result.outcome, ApplyResult::Outcome::LeftChanged);
    // The first two messages' fields (the second may have been taken) may stay changed.
    const std::vector<SettingMessage> messages = SettingMessages(from, to);
    std::vector<FieldChange> expected = messages[0].changes;
    expected.insert(expected.end(), messages[1].changes.begin(), messages[1].changes.end());
    ASSERT_EQ(result.leftChanged.size(), expected.size());
    EXPECT_NE(result.error.find("may still be set"), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("Level Sub"), std::string::npos) << result.error;
}

TEST(SendSettingStep, ACancelBetweenMessagesPutsBackWhatWasSent)
{
    FakeUnit unit;
    const ParameterModel from = unit.held, to = Changed();
    std::atomic<bool> cancel{false};
    int calls = 0;
    const ApplyResult result = SendSettingStep(
        from, to,
        [&](const std::vector<std::uint8_t>& payload) {
            if (++calls == 2) cancel = true;
            return unit.Take(payload);
        },
        &cancel);
    EXPECT_EQ(result.outcome, ApplyResult::Outcome::PutBack);
    EXPECT_NE(result.error.find("cancelled"), std::string::npos);
    ASSERT_EQ(unit.sent.size(), 4u);  // two forward, the same two back
    EXPECT_EQ(unit.sent[3], PayloadOf(from, SettingMessages(from, to)[0]));
}

TuneStart StartWith(const ParameterModel& setting)
{
    TuneStart start;
    start.setting = setting;
    start.proposal.setting = setting;
    start.proposal.levels.subGain = setting.gain[kSlotSub];
    start.proposal.alignment.lrDelay = setting.delay[kSlotLeftRight];
    start.proposal.alignment.subDelay = setting.delay[kSlotSub];
    return start;
}

TEST(ApplyAndVerify, RefusesBeforeSendingAnythingWhenTheUnitsSettingChangedOrALevelWouldRiseTooFar)
{
    FakeUnit unit;
    const std::atomic<bool> cancel{false};
    TuneStart start = StartWith(unit.held);
    unit.held.gain[kSlotLeftRight] -= 1;  // turned down on the unit since
    try {
        ApplyAndVerify(start, {}, unit, {}, cancel);
        ADD_FAILURE() << "applied over another setting";
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::SettingChanged);
    }
    unit.held = start.setting;
    start.settings.options.levels.maxRiseDb = 3.0;
    start.proposal.levels.subGain = start.setting.gain[kSlotSub] + 7;  // +3.5 dB
    try {
        ApplyAndVerify(start, {}, unit, {}, cancel);
        ADD_FAILURE() << "a rise beyond the limit applied";
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Refused);
        EXPECT_NE(std::string(e.what()).find("Sub would rise by 3.5 dB"), std::string::npos) << e.what();
    }
    // Without the level the rest may go (it fails here at the unit, before any measuring).
    unit.failFrom = 0;
    start.proposal.alignment.subDelay = 20;
    try {
        ApplyAndVerify(start, {.levels = false}, unit, {}, cancel);
        ADD_FAILURE() << "a change the unit did not take went through";
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Unit);
        EXPECT_TRUE(e.passesDone.empty());
    }
    EXPECT_EQ(unit.applies, 1);
    EXPECT_TRUE(SameSetting(unit.held, start.setting));
}

// Of several positions the person is asked back to the first before the
// change is sent; a cancel there sends nothing.
TEST(ApplyAndVerify, SeveralPositionsWaitForTheFirstBeforeSendingAndACancelThereSendsNothing)
{
    FakeUnit unit;
    const std::atomic<bool> cancel{false};
    TuneStart start = StartWith(unit.held);
    start.proposal.alignment.subDelay = 20;
    start.settings.measure.positions = 3;
    start.measured.positions.resize(3);
    std::vector<std::pair<int, int>> pauses;
    TuneCallbacks callbacks;
    callbacks.await = [&](const PositionPause& pause) {
        pauses.emplace_back(pause.measured, pause.count);
        return PositionChoice::Cancel;
    };
    try {
        ApplyAndVerify(start, {}, unit, callbacks, cancel);
        ADD_FAILURE() << "went on after a cancel";
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Cancelled);
        EXPECT_TRUE(e.passesDone.empty());
    }
    EXPECT_EQ(pauses, (std::vector<std::pair<int, int>>{{0, 3}}));
    EXPECT_EQ(unit.applies, 0);

    // The person back at the first, the change sent; a verifying sequence
    // that fails then leaves it applied, and the error says so.
    callbacks.await = [](const PositionPause&) { return PositionChoice::Next; };
    start.settings.measure.tailSeconds = 0.0;  // refused as the round starts
    try {
        ApplyAndVerify(start, {}, unit, callbacks, cancel);
        ADD_FAILURE() << "verified without a sequence";
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Measure);
        ASSERT_EQ(e.passesDone.size(), 1u);
        EXPECT_TRUE(SameSetting(e.passesDone[0].applied, unit.held));
    }
    EXPECT_EQ(unit.applies, 1);

    // Nobody to ask: refused before anything is read or measured.
    unit.answers = false;
    try {
        MeasureAndPropose(start.settings, unit, {}, cancel);
        ADD_FAILURE();
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Refused);
    }
}

TEST(MeasureAndPropose, AUnitThatDoesNotAnswerOrASequenceThatFailsChangesNothing)
{
    FakeUnit unit;
    unit.mutes = {false, true};
    const std::atomic<bool> cancel{false};
    TuneSettings settings;
    settings.measure.recordDevice = "No such microphone";
    unit.answers = false;
    try {
        MeasureAndPropose(settings, unit, {}, cancel);
        ADD_FAILURE();
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Unit);
    }
    unit.answers = true;
    try {
        MeasureAndPropose(settings, unit, {}, cancel);
        ADD_FAILURE();
    } catch (const TuneError& e) {
        EXPECT_EQ(e.kind(), TuneError::Kind::Measure);
        EXPECT_EQ(e.measureKind, MeasureError::Kind::Audio);
    }
    EXPECT_EQ(unit.applies, 0);
    EXPECT_EQ(unit.mutes, (MuteState{false, true}));
}

TEST(TuneSettings, TheLevelsRangesAtTheirEdgesAndARefusalBeforeAnythingIsAsked)
{
    const auto refused = [](double subOffsetDb, double maxRiseDb) -> std::optional<TuneField> {
        TuneSettings settings;
        settings.options.levels = {.subOffsetDb = subOffsetDb, .maxRiseDb = maxRiseDb};
        try {
            CheckTuneSettings(settings);
            return std::nullopt;
        } catch (const TuneSettingError& e) {
            return e.field();
        }
    };
    EXPECT_EQ(refused(-kMostSubOffsetDb, 0.0), std::nullopt);
    EXPECT_EQ(refused(kMostSubOffsetDb, kMostMaxRiseDb), std::nullopt);
    EXPECT_EQ(refused(-kMostSubOffsetDb - 0.1, 6.0), TuneField::SubOffset);
    EXPECT_EQ(refused(kMostSubOffsetDb + 0.1, 6.0), TuneField::SubOffset);
    EXPECT_EQ(refused(0.0, -0.1), TuneField::MaxRise);
    EXPECT_EQ(refused(0.0, 1e9), TuneField::MaxRise);

    // The pass refuses as the measurement would, before it reads or mutes anything.
    FakeUnit unit;
    unit.answers = false;
    const std::atomic<bool> cancel{false};
    TuneSettings settings;
    settings.options.levels.maxRiseDb = 1e9;
    try {
        MeasureAndPropose(settings, unit, {}, cancel);
        ADD_FAILURE();
    } catch (const TuneError& e) {
        EXPECT_EQ(e.measureKind, MeasureError::Kind::Settings);
        EXPECT_STREQ(e.what(), "The largest rise is 0 to 12 dB: 1e+09 is not.");
    }
}

// Only the PEQ is fitted again: either part of it chosen is enough.
TEST(SecondPassDue, WhenThePredictionWasMissedAndAPartOfThePeqWasChosen)
{
    TuneVerification missed;
    missed.secondPassDue = true;
    const TuneParts lrOnly{.alignment = true, .levels = true, .peqLr = true, .peqSub = false};
    const TuneParts subOnly{.alignment = false, .levels = false, .peqLr = false, .peqSub = true};
    const TuneParts noPeq{.alignment = true, .levels = true, .peqLr = false, .peqSub = false};
    EXPECT_TRUE(SecondPassDue(missed, lrOnly));
    EXPECT_TRUE(SecondPassDue(missed, subOnly));
    EXPECT_FALSE(SecondPassDue(missed, noPeq));
    EXPECT_FALSE(SecondPassDue(TuneVerification{}, TuneParts{}));
}

TEST(ProposalShortfalls, NameWhatThePartsChosenDoNotReach)
{
    TuneStart start = StartWith(ParameterModel{});
    start.proposal.peqLr.fit = FitResult{};  // on its target
    start.proposal.peqSub.refused = "too little of the range in its band";
    start.measurement.sub.arrivalMs = kDelayStepMax * 0.1;  // the unit's longest delay makes it up
    start.proposal.levels.missingDb = 1.5;
    start.settings.options.levels.maxRiseDb = 4.0;
    const std::vector<std::string> all = ProposalShortfalls(start, {});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], "The Sub stays 1.5 dB below its match: the limit on a rise (4.0 dB) stops it.");
    EXPECT_EQ(all[1], "PEQ Sub: no fit (too little of the range in its band).");
    EXPECT_TRUE(
        ProposalShortfalls(start, {.alignment = true, .levels = false, .peqLr = true, .peqSub = false}).empty());

    start.measurement.sub.arrivalMs += 0.2;
    start.proposal.peqLr.fit->rmsAfterDb = 1.1;
    const std::vector<std::string> further = ProposalShortfalls(start, {.levels = false, .peqSub = false});
    ASSERT_EQ(further.size(), 2u);
    EXPECT_EQ(further[0].rfind("The Sub arrives 12.7 ms after the tops, more than the unit's 12.5 ms", 0), 0u)
        << further[0];
    EXPECT_EQ(further[1], "PEQ Left & Right: three bands come no closer than 1.1 dB RMS to the target.");
}

TEST(PartTexts, SayWhatIsReversedShortOrLeftOutAndFrequenciesAtTheirEdges)
{
    TuneProposal proposal;
    proposal.alignment.polarityReversed = true;
    proposal.alignment.chosen.subInverted = true;
    EXPECT_NE(DescribePart({}, proposal, TunePart::Alignment).proposal.find("inverted (reversed: it is normal now)"),
              std::string::npos);
    EXPECT_EQ(DescribePart({}, proposal, TunePart::SubLevel).note, "");
    proposal.levels.missingDb = -1.5;
    EXPECT_EQ(DescribePart({}, proposal, TunePart::SubLevel).note, "1.5 dB short of the match: the rise limit stops it.");

    proposal.peqLr.fit = FitResult{};
    EXPECT_EQ(DescribePart({}, proposal, TunePart::PeqLeftRight).note, "");
    proposal.peqLr.leftOut = {PeqBand{.gain = kGainStepZero - 60, .flat = false}, PeqBand{.flat = false}};
    EXPECT_EQ(DescribePart({}, proposal, TunePart::PeqLeftRight).note,
              "Left out of the fit on the positions' average: " + PeqBandText(proposal.peqLr.leftOut[0]) + "; " +
                  PeqBandText(proposal.peqLr.leftOut[1]) + " (the positions come nearer the target without them).");

    TuneVerification v;
    v.outputs.resize(2);
    v.outputs[1].largestMissDb = 1.25;
    v.outputs[1].largestMissHz = 99.96;
    EXPECT_EQ(DescribeChecks(v)[0].miss, "none");
    EXPECT_EQ(DescribeChecks(v)[1].miss, "+1.3 dB at 100 Hz");
    EXPECT_EQ(HzText(99.94), "99.9 Hz");
    EXPECT_EQ(HzText(999.4), "999 Hz");
    EXPECT_EQ(HzText(999.6), "1.00 kHz");
    EXPECT_EQ(HzText(1000.0), "1.00 kHz");
    EXPECT_EQ(HzText(9994.0), "9.99 kHz");
    EXPECT_EQ(HzText(9996.0), "10.0 kHz");
    EXPECT_EQ(HzText(10000.0), "10.0 kHz");
}

TEST(PositionTexts, EachPositionTheAverageAndTheSeatsThatLoseAreNamed)
{
    TuneProposal proposal;
    EXPECT_TRUE(PositionSumTexts(proposal).empty());  // one position: nothing more to say
    proposal.positionSums.resize(2);
    proposal.positionSums[1].anotherBetter = true;
    proposal.positionSums[1].own = {.relativeSteps = 15, .subInverted = false, .meanDb = -0.4};
    const std::vector<std::string> sums = PositionSumTexts(proposal);
    ASSERT_EQ(sums.size(), 2u);
    EXPECT_EQ(sums[1].rfind("Position 2: tops and Sub add", 0), 0u) << sums[1];
    EXPECT_EQ(sums[0].find("would add"), std::string::npos) << sums[0];
    EXPECT_NE(sums[1].find("here alone Delay Sub 1.5 ms (15 steps), Sub normal would add -0.4 dB"), std::string::npos)
        << sums[1];

    SpatialVerification v;
    v.positions.resize(3);
    v.positions[2].rmsBeforeDb = 2.0;
    v.positions[2].rmsAfterDb = 3.5;
    v.worse = {3};
    const std::vector<std::string> checks = SpatialVerificationTexts(v);
    ASSERT_EQ(checks.size(), 5u);
    EXPECT_EQ(checks[2].rfind("Position 3: RMS from the target 2.0 dB \u2192 3.5 dB", 0), 0u) << checks[2];
    EXPECT_EQ(checks[3].rfind("Average of the positions", 0), 0u);
    EXPECT_EQ(checks[4].rfind("Position 3 got worse by more than 1.0 dB", 0), 0u);
    EXPECT_EQ(ChecksPositionText(v).rfind("Each output as measured at position 1 of 3;", 0), 0u);
    EXPECT_EQ(ChecksPositionText(SpatialVerification{}), "");  // one position: the checks are its own
    EXPECT_TRUE(SpatialVerificationTexts(SpatialVerification{}).empty());
}

}  // namespace
