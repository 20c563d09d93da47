// Which bands of the live trace have left the stored one, held long enough
// to be more than a moment of the music:
// - departed: a band off by more than kAlarmDeviationDb either way while
//   its coherence is above kTrustedCoherence (the curve there is the
//   system's: a band moved by mistake, a polarity flipped);
// - collapsed: a band the stored trace carries strongly and the reference
//   still feeds, where the coherence fell below kCollapsedCoherence and the
//   level by more than kCollapseFallDb: what the microphone hears there is
//   noise, not the system (a loudspeaker or its cable lost).
// A band alarms once its state has held for kAlarmHoldSeconds, and for as
// long as it holds. A band that was coherent and within kAlarmDeviationDb
// at the look before departed where the line between the two looks crosses
// it: the look that sees it comes up to a beat later (a deviation that
// rises as an average does, slowing, crossed no later than that line).

#pragma once

#include <map>
#include <vector>

#include "TraceComparison.h"

inline constexpr double kAlarmDeviationDb = 3.0;
inline constexpr double kAlarmHoldSeconds = 1.0;
inline constexpr double kCollapsedCoherence = 0.5;
inline constexpr double kCollapseFallDb = 10.0;
// "Carries strongly": within this of the stored trace's loudest band.
inline constexpr double kStrongBandDb = -20.0;
// "Still feeds": the reference within this of its loudest band.
inline constexpr double kFedBandDb = -40.0;

struct TraceAlarm {
    enum class Kind { Departed, Collapsed };
    Kind kind = Kind::Departed;
    double hz = 0.0;
    double deviationDb = 0.0;
    double sinceSeconds = 0.0;  // when the band's state began
};

class TraceAlarms {
public:
    // The alarms standing at nowSeconds (stream time, rising), lowest band first.
    std::vector<TraceAlarm> Look(const std::vector<BandComparison>& bands, double nowSeconds);

private:
    struct Pending {
        TraceAlarm::Kind kind;
        double since;
    };
    std::map<double, Pending> pending_;         // by band centre
    std::map<double, BandComparison> before_;  // the look before's bands, by centre
    double beforeSeconds_ = 0.0;
};
