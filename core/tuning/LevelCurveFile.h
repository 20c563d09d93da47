// Frequency-response measurements and target curves as measurement programs
// export them (text exports and .frd files): comment lines starting with
// "*", "#" or ";", then one point a line, frequency in Hz and level in dB,
// optionally followed by the phase (which is not used).
//
// The separators are blanks, tabs, commas or semicolons. A comma is a
// decimal comma when the line is separated otherwise (by a semicolon, a
// tab, or blanks alone), and a separator when it is not ("20,-3.5").
// Lines of text before the first point (column headings) are passed over.
#pragma once

#include <string_view>
#include <vector>

// A frequency-response curve as levels alone (no phase): a measurement's,
// or a target's.
struct LevelCurve {
    std::vector<double> hz;  // rising, every one above 0
    std::vector<double> db;
};

// Throws TuningFileError (tuning/TuningText.h) with the line and the reason
// for a point whose frequency is not above 0, does not rise above the one
// before, or whose level is not a finite number, for text between points,
// and (line 0) for fewer than kCurveLeastPoints points in the audio
// band 20 Hz .. 20 kHz.
LevelCurve ParseLevelCurve(std::string_view text);

inline constexpr int kCurveLeastPoints = 10;

// The level at hz, interpolated on the octave scale between the points
// around it; the first or last point's level beyond them.
double LevelAt(const LevelCurve& measurement, double hz);
