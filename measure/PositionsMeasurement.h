// A measurement at several microphone positions: at each the same outputs
// are measured in one sequence (Measure), and between two positions
// everything waits for the person, who walks the microphone to the next
// one. Nothing stays muted while they walk: each sequence puts the
// person's mutes back before the wait. A position can be measured again
// (a verdict that is not ok, a door slammed) without starting over; it
// replaces only itself. Per output the positions are taken together into
// a spatial average and spread (SpatialAverage.h).
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Measurement.h"
#include "SpatialAverage.h"

// One output over every position.
struct OutputAverage {
    MeasuredOutput output = MeasuredOutput::Left;
    // Ok where every position is; else the first position's fault that is
    // not ok ("position 2: too noisy ...").
    Verdict verdict = Verdict::Ok;
    std::string verdictText;
    double peakDbfs = kSilenceDbfs;  // the loudest position's
    std::optional<double> snrDb;     // the least position's
    // Over the positions that have a response (the sweep reached the
    // microphone); 0 and empty where none has.
    double arrivalMs = 0.0;  // their mean
    SpatialAverage response;
};

struct PositionsResult {
    std::vector<MeasurementResult> positions;  // in position order
    std::vector<OutputAverage> averages;       // in the order of the outputs measured
    bool AllOk() const;
};

// The averages of positions that measured the same outputs in the same order.
std::vector<OutputAverage> AverageOutputs(const std::vector<MeasurementResult>& positions);

// What the person chose while the measurement waited.
enum class PositionChoice {
    Next,   // go on to the next position (after the last: keep it and end)
    Again,  // measure the position just measured again, in its place
    Cancel,
};

// Where the measurement waits: after `measured` of `count` positions
// (1-based), whose sequence gave `result`; `averages` over the positions
// measured so far. `measured` 0: before a new round over the positions (a
// tuning's verification), the person going back to the first; `result` and
// `averages` are then the last round's.
struct PositionPause {
    int measured = 1;
    int count = 1;
    const MeasurementResult& result;
    const std::vector<OutputAverage>& averages;
};

// The face's wait for the person, on the measurement's thread: it may block
// until they say (a line typed, a button pressed).
using AwaitPerson = std::function<PositionChoice(const PositionPause&)>;

// Measures the settings' positions, waiting for the person after every one
// but the last, and after the last when it is not ok. One position is
// Measure alone, with no wait. Throws MeasureError as Measure does
// (Settings for a count out of its range too); Cancelled for a cancel
// while waiting (the person's mutes are already back) or during a
// sequence; Unit when a sequence could not put the mutes back (the
// measurement stops there rather than leave them so while the person walks).
PositionsResult MeasurePositions(const MeasureSettings& settings, UnitMutes* unit, const MeasureCallbacks& callbacks,
                                 const AwaitPerson& await, const std::atomic<bool>& cancel,
                                 const SoundSystem* system = nullptr);
