#include "TuneCurves.h"

#include "model/Scales.h"
#include "tuning/MeasurementLevels.h"
#include "tuning/PeqFit.h"
#include "tuning/SpatialFit.h"

namespace {

MeasuredResponse ResponseOf(const SystemMeasurement& m, TuneOutput output)
{
    switch (output) {
        case TuneOutput::Left:
            return m.left;
        case TuneOutput::Right:
            return m.right;
        case TuneOutput::Sub:
            return m.sub;
        case TuneOutput::System:
            break;
    }
    return SystemOutput(m);
}

// The output's levels at each position.
std::vector<LevelCurve> PositionLevels(std::span<const SystemMeasurement> positions, TuneOutput output)
{
    return LevelsAtPositions(positions, [output](const SystemMeasurement& m) { return ResponseOf(m, output); });
}

// The positions' mean power, as a graph draws it (one position: its own levels).
ResponseCurve AverageLevels(std::span<const SystemMeasurement> positions, TuneOutput output)
{
    return UnshiftedMeasurementLevels(LevelsOverPositions(PositionLevels(positions, output)).mean);
}

// Each position thin behind `average`, with their spread.
PositionCurves Positions(const PlotCurve& average, std::span<const SystemMeasurement> positions, TuneOutput output)
{
    const std::vector<LevelCurve> levels = PositionLevels(positions, output);
    PositionCurves out{average, {}, UnshiftedMeasurementLevels({levels.front().hz, LevelsOverPositions(levels).spreadDb})};
    for (const LevelCurve& position : levels) out.positions.push_back(UnshiftedMeasurementLevels(position));
    return out;
}

// The mean level of the output's own band.
double BandMean(const ResponseCurve& levels, TuneOutput output, const CrossoverRegion& region)
{
    const FitOptions range;
    int first = FreqIndexFromHz(range.lowHz), last = FreqIndexFromHz(range.highHz);
    if (output == TuneOutput::Sub)
        last = FreqIndexFromHz(region.CentreHz());
    else if (output != TuneOutput::System)
        first = FreqIndexFromHz(region.CentreHz());
    return MeanLevel(levels.data(), first, last);
}

}  // namespace

QString TuneOutputTitle(TuneOutput output)
{
    switch (output) {
        case TuneOutput::Left:
            return QStringLiteral("Left");
        case TuneOutput::Right:
            return QStringLiteral("Right");
        case TuneOutput::Sub:
            return QStringLiteral("Sub");
        case TuneOutput::System:
            break;
    }
    return QStringLiteral("System");
}

TuneCurveColours ScreenTuneColours() { return {QColor(150, 150, 150), QColor(90, 200, 255), QColor(255, 170, 60)}; }

TuneCurveColours PaperTuneColours() { return {QColor(160, 160, 160), QColor(40, 110, 210), QColor(200, 50, 30)}; }

TuneGraph TuneCurves(const TuneMeasurements& m, TuneOutput output, const TuneCurveColours& colours)
{
    TuneGraph graph;
    if (m.before.empty()) return graph;
    graph.curves.push_back({QStringLiteral("Before"), colours.before, AverageLevels(m.before, output)});
    if (!m.predicted.empty())
        graph.curves.push_back({QStringLiteral("Predicted"), colours.predicted, AverageLevels(m.predicted, output)});
    if (!m.after.empty())
        graph.curves.push_back({QStringLiteral("After"), colours.after, AverageLevels(m.after, output)});
    const double shift = BandMean(graph.curves.front().levels, output, m.region);
    for (PlotCurve& curve : graph.curves)
        for (double& level : curve.levels) level -= shift;
    // The last round measured, behind its own average.
    const bool measuredAgain = !m.after.empty();
    const std::span<const SystemMeasurement> last = measuredAgain ? m.after : m.before;
    if (last.size() > 1) {
        PositionCurves round = Positions(measuredAgain ? graph.curves.back() : graph.curves.front(), last, output);
        for (ResponseCurve& position : round.positions)
            for (double& level : position) level -= shift;
        graph.positions.push_back(std::move(round));
    }
    return graph;
}
