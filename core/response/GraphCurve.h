// Where the response curve runs on the 460 x 190 graph, free of any drawing
// surface: the line segments that join one frequency step to the next.
#pragma once

#include <span>
#include <vector>

inline constexpr int kGraphWidth = 460;
inline constexpr int kGraphHeight = 190;
inline constexpr int kPlotLeft = 50;
inline constexpr int kPlotRight = 445;
inline constexpr double kLowestDrawnDb = -15.0;

// How far outside the image a curve point may lie and still be joined by a
// line; a point further out is only moved to, so no coordinate overflows.
inline constexpr int kCurveFarOutside = 1000;

struct CurveSegment {
    int x0, y0;  // painted
    int x1, y1;  // the end point, not painted
};

// The segments of the curve of `response` (one dB value per frequency step;
// entry 0 is not drawn): the pen starts at step 1's ceiling row, then each
// step k at x = 50 + k on its floor row is joined to the pen by a line when
// its level is at least -15 dB, and only moved to otherwise. A level that is
// not a finite number lifts the pen.
std::vector<CurveSegment> CurveSegments(std::span<const double> response);
