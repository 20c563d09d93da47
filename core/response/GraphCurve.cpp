#include "response/GraphCurve.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

struct CurvePoint {
    int y;
    bool nearImage;  // false: only moved to, never joined by a line
};

// The row of a level, rounded by `round` (floor or ceil); empty when the
// level is not a finite number.
template <typename Round>
std::optional<CurvePoint> CurveRow(double dB, Round round)
{
    const double y = round(LevelRow(dB));
    if (!std::isfinite(y)) return std::nullopt;
    const double clamped = std::clamp(y, double(-kCurveFarOutside), double(kGraphHeight + kCurveFarOutside));
    return CurvePoint{static_cast<int>(clamped), clamped == y};
}

// The part of the line from a to b between the plot's top and bottom rows,
// or nothing when it lies wholly above or below them.
std::optional<std::pair<GraphPoint, GraphPoint>> ClipToPlotRows(GraphPoint a, GraphPoint b)
{
    const double dy = b.y - a.y;
    if (dy == 0.0) {
        if (a.y < kPlotTop || a.y > kPlotBottom) return std::nullopt;
        return std::pair(a, b);
    }
    const double atTop = (kPlotTop - a.y) / dy;
    const double atBottom = (kPlotBottom - a.y) / dy;
    const double from = std::max(0.0, std::min(atTop, atBottom));
    const double to = std::min(1.0, std::max(atTop, atBottom));
    if (from > to) return std::nullopt;
    // Held to the rows, which a huge level's rounding could otherwise miss.
    const auto along = [&](double t) {
        return GraphPoint{a.x + t * (b.x - a.x), std::clamp(a.y + t * dy, double(kPlotTop), double(kPlotBottom))};
    };
    return std::pair(along(from), along(to));
}

struct Pen {
    int x = 0, y = 0;
    bool down = false;  // false: nothing to draw a line from
};

}  // namespace

std::vector<CurveSegment> CurveSegments(std::span<const double> response)
{
    std::vector<CurveSegment> segments;
    const int steps = std::min<int>(static_cast<int>(response.size()), kPlotRight - kPlotLeft);
    if (steps < 2) return segments;
    segments.reserve(static_cast<std::size_t>(steps));
    const auto ceilRow = [](double v) { return std::ceil(v); };
    const auto floorRow = [](double v) { return std::floor(v); };
    Pen pen;
    if (const auto start = CurveRow(response[1], ceilRow)) pen = Pen{StepColumn(0), start->y, true};
    for (int k = 1; k < steps; ++k) {
        const auto row = CurveRow(response[k], floorRow);
        if (!row) {
            pen.down = false;
            continue;
        }
        const Pen point{StepColumn(k), row->y, true};
        if (pen.down && row->nearImage && response[k] >= kLowestDrawnDb)
            segments.push_back({pen.x, pen.y, point.x, point.y});
        pen = point;
    }
    return segments;
}

std::vector<std::vector<GraphPoint>> CurveRuns(std::span<const double> response)
{
    std::vector<std::vector<GraphPoint>> runs;
    const int steps = std::min<int>(static_cast<int>(response.size()), kPlotRight - kPlotLeft);
    std::optional<GraphPoint> pen;
    bool joined = false;  // the last run ends at the pen
    for (int k = 1; k < steps; ++k) {
        const double row = LevelRow(response[k]);
        if (!std::isfinite(row)) {
            pen.reset();
            joined = false;
            continue;
        }
        const GraphPoint point{double(StepColumn(k)), row};
        if (k == 1) pen = GraphPoint{double(StepColumn(0)), row};
        if (pen) {
            const auto inside = ClipToPlotRows(*pen, point);
            if (inside && !joined) runs.push_back({inside->first});
            if (inside) runs.back().push_back(inside->second);
            joined = inside && point.y >= kPlotTop && point.y <= kPlotBottom;
        }
        pen = point;
    }
    return runs;
}
