#include <gtest/gtest.h>

#include <cmath>

#include "LiveWatch.h"
#include "WatchSettings.h"
#include "WatchTexts.h"

namespace {

TEST(WatchSettings, RefusesWhatIsOutOfRangeNamingTheField)
{
    const auto fault = [](auto change) {
        WatchSettings settings;
        change(settings);
        return FaultOf(settings);
    };
    const auto refused = [&fault](auto change, WatchField field, const std::string& text) {
        const auto found = fault(change);
        return found && found->field == field && found->text == text;
    };
    EXPECT_FALSE(fault([](WatchSettings&) {}));
    EXPECT_FALSE(fault([](WatchSettings& s) { s.averageSeconds = 0.2; }));
    EXPECT_FALSE(fault([](WatchSettings& s) { s.averageSeconds = 10.0; }));
    EXPECT_FALSE(fault([](WatchSettings& s) { s.rate = 8000; }));
    EXPECT_FALSE(fault([](WatchSettings& s) { s.rate = 192000; }));
    const std::string average = "The averaging's time constant must be 0.2 to 10 s.";
    EXPECT_TRUE(refused([](WatchSettings& s) { s.averageSeconds = 0.19; }, WatchField::Average, average));
    EXPECT_TRUE(refused([](WatchSettings& s) { s.averageSeconds = 10.01; }, WatchField::Average, average));
    const std::string rate = "The rate must be 8000 to 192000 Hz.";
    EXPECT_TRUE(refused([](WatchSettings& s) { s.rate = 7999; }, WatchField::Rate, rate));
    EXPECT_TRUE(refused([](WatchSettings& s) { s.rate = 192001; }, WatchField::Rate, rate));
    EXPECT_TRUE(refused([](WatchSettings& s) { s.microphoneChannel = 0; }, WatchField::MicrophoneChannel,
                        "The microphone's channel must be an input channel, 1 or more."));
    EXPECT_TRUE(refused([](WatchSettings& s) { s.referenceChannel = 0; }, WatchField::ReferenceChannel,
                        "The reference's channel must be an input channel, 1 or more."));
    EXPECT_TRUE(refused([](WatchSettings& s) { s.referenceChannel = 1; }, WatchField::ReferenceChannel,
                        "The reference's channel must be another input channel than the microphone's."));
}

TEST(WatchTexts, AnAlarmNamesTheEditBeforeItOrSaysNoneCame)
{
    const TraceAlarm peq{TraceAlarm::Kind::Departed, 1000.0, 6.04, 12.0};
    const TraceAlarm lost{TraceAlarm::Kind::Collapsed, 50.0, -14.2, 3.0};
    EXPECT_EQ(AlarmText(peq, WatchEdit{11.0, "Left & Right PEQ 2 +6.0 dB"}, true),
              "after Left & Right PEQ 2 +6.0 dB: +6.0 dB at 1.00 kHz");
    EXPECT_EQ(AlarmText(lost, std::nullopt, true),
              "changed by itself (a loudspeaker, a cable, the room?): no coherent sound at 50 Hz (-14.2 dB): a "
              "loudspeaker or its cable?");
    EXPECT_EQ(AlarmText(peq, std::nullopt, false), "+6.0 dB at 1.00 kHz");
    EXPECT_EQ(BandName(12699.2), "12.7 kHz");

    const std::vector<WatchEdit> edits{{2.0, "Sub mute on"}, {6.0, "Left & Right PEQ 2 +6.0 dB"}};
    EXPECT_EQ(EditBefore(edits, 5.9)->what, "Sub mute on");
    EXPECT_EQ(EditBefore(edits, 6.0)->what, "Left & Right PEQ 2 +6.0 dB");
    EXPECT_EQ(EditBefore(edits, 11.0)->what, "Left & Right PEQ 2 +6.0 dB");
    EXPECT_FALSE(EditBefore(edits, 11.1).has_value());  // more than 5 s after the last
    EXPECT_FALSE(EditBefore(edits, 1.9).has_value());
}

// A look's alarms against the last told: the same bands and kinds with
// other figures are no news; a band more, one gone or another kind are.
TEST(WatchLook, AlarmsDifferByTheirBandsAndKindsNotTheirFigures)
{
    const auto alarm = [](TraceAlarm::Kind kind, double hz, double db) {
        return WatchAlarm{TraceAlarm{kind, hz, db, 0.0}, "text"};
    };
    const std::vector<WatchAlarm> told{alarm(TraceAlarm::Kind::Departed, 1000.0, 3.4)};
    EXPECT_TRUE(SameAlarms({alarm(TraceAlarm::Kind::Departed, 1000.0, 4.1)}, told));
    EXPECT_FALSE(SameAlarms({}, told));
    EXPECT_FALSE(SameAlarms(told, {}));
    EXPECT_FALSE(SameAlarms({alarm(TraceAlarm::Kind::Collapsed, 1000.0, -12.0)}, told));
    EXPECT_FALSE(SameAlarms({alarm(TraceAlarm::Kind::Departed, 1250.0, 3.4)}, told));
    EXPECT_FALSE(SameAlarms({told[0], alarm(TraceAlarm::Kind::Departed, 50.0, -4.0)}, told));
}

// A kept trace holds its coherent points only: between its ends its level
// on the octave scale, beyond them none.
TEST(WatchLook, AStoredTraceIsKnownBetweenItsEndsOnly)
{
    const LevelCurve stored{{100.0, 1000.0}, {-10.0, -20.0}};
    const std::vector<double> db = StoredLevels(stored, {99.0, 100.0, std::sqrt(100.0 * 1000.0), 1000.0, 1001.0});
    EXPECT_TRUE(std::isnan(db[0]));
    EXPECT_DOUBLE_EQ(db[1], -10.0);
    EXPECT_NEAR(db[2], -15.0, 1e-9);
    EXPECT_DOUBLE_EQ(db[3], -20.0);
    EXPECT_TRUE(std::isnan(db[4]));
}

}  // namespace
