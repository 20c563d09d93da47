#include "TuneCurves.h"

#include "model/Scales.h"
#include "tuning/MeasurementLevels.h"
#include "tuning/PeqFit.h"

namespace {

const MeasuredResponse& ResponseOf(const SystemMeasurement& m, TuneOutput output, MeasuredResponse& system)
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
    system = SystemOutput(m);
    return system;
}

ResponseCurve Levels(const SystemMeasurement& m, TuneOutput output)
{
    MeasuredResponse system;
    return UnshiftedMeasurementLevels(LevelsOf(ResponseOf(m, output, system)));
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

std::vector<PlotCurve> TuneCurves(const TuneMeasurements& m, TuneOutput output, const TuneCurveColours& colours)
{
    std::vector<PlotCurve> curves;
    if (!m.before) return curves;
    curves.push_back({QStringLiteral("Before"), colours.before, Levels(*m.before, output)});
    if (m.predicted) curves.push_back({QStringLiteral("Predicted"), colours.predicted, Levels(*m.predicted, output)});
    if (m.after) curves.push_back({QStringLiteral("After"), colours.after, Levels(*m.after, output)});
    const double shift = BandMean(curves.front().levels, output, m.region);
    for (PlotCurve& curve : curves)
        for (double& level : curve.levels) level -= shift;
    return curves;
}
