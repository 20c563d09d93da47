// The outputs a measurement plays through, and how the unit is set for
// each. The unit feeds Left from input 1, Right from input 2 and the Sub
// from the mix of both; Left and Right share one channel, and so one mute.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Verdict.h"
#include "ImpulseWindow.h"

enum class MeasuredOutput { Left, Right, Sub, System };

// "left", "right", "sub", "system".
const char* OutputName(MeasuredOutput output);
std::optional<MeasuredOutput> ParseOutputName(const std::string& name);
// "left,right,sub" (any order, no repeats) into outputs; empty for a list
// that is empty, repeats an output or names another.
std::vector<MeasuredOutput> ParseOutputList(const std::string& list);

struct MuteState {
    bool leftRight = false;
    bool sub = false;
    bool operator==(const MuteState&) const = default;
};

struct OutputRouting {
    bool input1 = false;  // the sweep plays on the unit's input 1
    bool input2 = false;
    MuteState mutes;      // while it plays
};

// left: input 1, the Sub muted; right: input 2, the Sub muted; sub: both
// inputs, Left & Right muted; system: both, nothing muted.
OutputRouting RoutingOf(MeasuredOutput output);

// What the analysis needs to know of the output: its band (whose octaves
// must stand clear of the noise), its window and how its arrival is taken.
struct OutputAnalysisShape {
    OutputBand band;
    ImpulseWindowShape window;
    std::optional<double> arrivalLowPassHz;
};
OutputAnalysisShape AnalysisShapeOf(MeasuredOutput output);

// Whether the output plays the sweep's top octaves, at its end: the Sub's
// end is long silent, and shows nothing of how the room rings on.
bool SoundsAtTheSweepsEnd(MeasuredOutput output);

// The silence recorded before an output's sweep, its noise floor: eight
// periods of the lowest octave of its band, so that each band's lowest
// octave is judged on as many of its cycles (0.064 s for Left and Right,
// 0.256 s for the Sub and the system).
double NoiseSeconds(MeasuredOutput output);
