#include <gtest/gtest.h>

#include "WatchSettings.h"
#include "WatchTexts.h"

namespace {

TEST(WatchSettings, RefusesWhatIsOutOfRangeNamingTheField)
{
    const auto fault = [](auto change) {
        WatchSettings settings;
        change(settings);
        return WatchSettingsFault(settings).value_or("");
    };
    EXPECT_EQ(fault([](WatchSettings&) {}), "");
    EXPECT_EQ(fault([](WatchSettings& s) { s.averageSeconds = 0.2; }), "");
    EXPECT_EQ(fault([](WatchSettings& s) { s.averageSeconds = 10.0; }), "");
    EXPECT_EQ(fault([](WatchSettings& s) { s.averageSeconds = 0.19; }), "\"average\" must be 0.2 to 10 s.");
    EXPECT_EQ(fault([](WatchSettings& s) { s.averageSeconds = 10.01; }), "\"average\" must be 0.2 to 10 s.");
    EXPECT_EQ(fault([](WatchSettings& s) { s.rate = 7999; }), "\"rate\" must be 8000 to 192000 Hz.");
    EXPECT_EQ(fault([](WatchSettings& s) { s.rate = 192001; }), "\"rate\" must be 8000 to 192000 Hz.");
    EXPECT_EQ(fault([](WatchSettings& s) { s.microphoneChannel = 0; }),
              "\"microphoneChannel\" must be an input channel, 1 or more.");
    EXPECT_EQ(fault([](WatchSettings& s) { s.referenceChannel = 1; }),
              "\"referenceChannel\" must be another input channel than the microphone's.");
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

}  // namespace
