// The live watch's words: an alarm as the person reads it, naming the edit
// that came before it or saying that nothing did.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "TraceAlarms.h"

struct WatchEdit {
    double seconds = 0.0;  // stream time
    std::string what;      // "Left & Right PEQ 2: +6.0 dB"
};

// An edit this long before an alarm's band began to move is taken for its
// cause: the averaging and the alarm's hold come after it.
inline constexpr double kEditReachSeconds = 5.0;

// The last edit at or up to kEditReachSeconds before `seconds`, if one came.
std::optional<WatchEdit> EditBefore(const std::vector<WatchEdit>& edits, double seconds);

// How the watch stands, for a status line: "12 s, delay 3.45 ms, 87%
// coherent", or while no delay is found "12 s, looking for the delay (does
// the programme reach the reference and the microphone?)".
std::string WatchStatus(double seconds, const std::optional<double>& delaySeconds, double coherentShare);

// "1.00 kHz", "50 Hz", "12.7 kHz".
std::string BandName(double hz);
// "+6.0 dB at 1.00 kHz", or for a collapsed band "no coherent sound at 50 Hz
// (-14.2 dB): a loudspeaker or its cable?"
std::string AlarmWords(const TraceAlarm& alarm);
// The alarm after an edit ("after Left & Right PEQ 2: +6.0 dB: +6.0 dB at
// 1.00 kHz"), or without one "changed by itself (a loudspeaker, a cable, the
// room?): ..."; plain when edits are not known (no unit: nothing to blame).
std::string AlarmText(const TraceAlarm& alarm, const std::optional<WatchEdit>& edit, bool editsKnown);
