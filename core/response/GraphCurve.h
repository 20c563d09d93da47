// The geometry of the 460 x 190 response graph, free of any drawing surface:
// the plot area, its level and frequency grids with their labels, where a
// frequency step and a level lie, and the line segments that join one
// frequency step to the next. Drawings at other sizes map these coordinates
// onto their own rectangle.
#pragma once

#include <span>
#include <vector>

inline constexpr int kGraphWidth = 460;
inline constexpr int kGraphHeight = 190;
inline constexpr int kPlotLeft = 50;
inline constexpr int kPlotRight = 445;
inline constexpr int kPlotTop = 15;
inline constexpr int kPlotBottom = 165;
inline constexpr int kZeroDbY = 90;
inline constexpr double kLowestDrawnDb = -15.0;

// A level grid line every 15 rows (3 dB), from kPlotTop to kPlotBottom.
inline constexpr int kLevelGridRows = 15;

// Step k lies on column 50 + k; a level on row 90 - 5 x dB (unrounded), so
// the plot spans +15 dB (row 15) to -15 dB (row 165).
constexpr int StepColumn(int step) { return kPlotLeft + step; }
constexpr double LevelRow(double dB) { return 30.0 + 5.0 * (12.0 - dB); }
constexpr double RowLevel(double row) { return 18.0 - row / 5.0; }

// The frequency grid: a vertical line and its label at each column.
struct FrequencyGridLine {
    int x;
    const char* label;
};
inline constexpr FrequencyGridLine kFrequencyGrid[] = {
    {86, "20"},  {133, "50"}, {168, "100"}, {205, "200"}, {252, "500"},
    {289, "1k"}, {325, "2k"}, {372, "5k"},  {409, "10k"}, {445, "20k"},
};
// The lowest step's frequency, labelled under the frame's left edge.
inline constexpr const char* kLowestFrequencyLabel = "10";

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

// A point of the graph in its own coordinates (columns and rows).
struct GraphPoint {
    double x, y;
};

// The curve of `response` for drawing at any scale, cut to the plot area:
// step k (1..394) at (StepColumn(k), LevelRow(level)) unrounded, the curve
// starting at the left edge on step 1's level as the pixel curve does. It
// comes as runs of joined points; a run ends where the curve crosses the
// plot's top or bottom edge (at the crossing) and where a level is not a
// finite number. Unlike CurveSegments, a drawing needs no clipping of its own.
std::vector<std::vector<GraphPoint>> CurveRuns(std::span<const double> response);
