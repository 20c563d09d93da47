#include "WatchTexts.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Printed(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::optional<WatchEdit> EditBefore(const std::vector<WatchEdit>& edits, double seconds)
{
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit)
        if (edit->seconds <= seconds && seconds - edit->seconds <= kEditReachSeconds) return *edit;
    return std::nullopt;
}

std::string WatchStatus(double seconds, const std::optional<double>& delaySeconds, double coherentShare)
{
    char text[96];
    if (!delaySeconds) {
        std::snprintf(text, sizeof text, "%.0f s, looking for the delay", seconds);
        return std::string(text) + " (does the programme reach the reference and the microphone?)";
    }
    std::snprintf(text, sizeof text, "%.0f s, delay %.2f ms, %.0f%% coherent", seconds, *delaySeconds * 1000.0,
                  coherentShare * 100.0);
    return text;
}

std::string BandName(double hz)
{
    if (hz < 1000.0) return Printed("%.0f Hz", hz);
    return Printed(hz < 10000.0 ? "%.2f kHz" : "%.1f kHz", hz / 1000.0);
}

std::string AlarmWords(const TraceAlarm& alarm)
{
    const std::string db = Printed("%+.1f dB", alarm.deviationDb);
    if (alarm.kind == TraceAlarm::Kind::Collapsed)
        return "no coherent sound at " + BandName(alarm.hz) + " (" + db + "): a loudspeaker or its cable?";
    return db + " at " + BandName(alarm.hz);
}

std::string AlarmText(const TraceAlarm& alarm, const std::optional<WatchEdit>& edit, bool editsKnown)
{
    if (edit) return "after " + edit->what + ": " + AlarmWords(alarm);
    if (editsKnown) return "changed by itself (a loudspeaker, a cable, the room?): " + AlarmWords(alarm);
    return AlarmWords(alarm);
}
