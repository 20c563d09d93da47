#include "live/LiveGraph.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

#include "measure/MeasurePlots.h"
#include "response/GraphCurve.h"
#include "tuning/MeasurementLevels.h"

namespace {

constexpr double kNoLevel = std::numeric_limits<double>::quiet_NaN();
// The low-coherence part of the live curve keeps this much of its colour.
constexpr int kFaintAlpha = 90;

QColor LiveColour() { return ScreenPlotStyle().leftRight; }
QColor StoredColour() { return QColor(235, 235, 235); }
QColor PredictedColour() { return QColor(255, 210, 77); }

ResponseCurve NoLevels()
{
    ResponseCurve levels;
    levels.fill(kNoLevel);
    return levels;
}

// The point of `hz` (rising) nearest `at` on the octave scale; none beyond
// half a point's spacing outside them.
std::optional<std::size_t> NearestPoint(const std::vector<double>& hz, double at)
{
    if (hz.size() < 2) return std::nullopt;
    const double halfSpacing = std::sqrt(hz[1] / hz[0]);
    if (at < hz.front() / halfSpacing || at > hz.back() * halfSpacing) return std::nullopt;
    const auto above = std::lower_bound(hz.begin(), hz.end(), at);
    if (above == hz.begin()) return 0;
    if (above == hz.end()) return hz.size() - 1;
    const auto i = static_cast<std::size_t>(above - hz.begin());
    return at / hz[i - 1] < hz[i] / at ? i - 1 : i;
}

void Shift(ResponseCurve& levels, double by)
{
    for (double& level : levels) level -= by;
}

}  // namespace

LiveLevels LiveLevelsOf(const LiveTrace& trace)
{
    LiveLevels live{NoLevels(), NoLevels()};
    for (int step = 0; step < kFreqSteps; ++step) {
        const std::optional<std::size_t> point = NearestPoint(trace.hz, FreqTable[step]);
        if (!point || !trace.known[*point]) continue;
        const auto k = static_cast<std::size_t>(step);
        (trace.coherence[*point] >= kTrustedCoherence ? live.trusted : live.faint)[k] = trace.db[*point];
    }
    return live;
}

LiveGraph::LiveGraph(QWidget* parent) : QWidget(parent), live_{NoLevels(), NoLevels()}
{
    setMinimumSize(kGraphWidth, kGraphHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize LiveGraph::sizeHint() const { return QSize(2 * kGraphWidth, 2 * kGraphHeight); }

void LiveGraph::Show(const LiveTrace& trace, double storedOffsetDb)
{
    live_ = LiveLevelsOf(trace);
    storedOffsetDb_ = storedOffsetDb;
    update();
}

void LiveGraph::SetStored(const std::optional<LevelCurve>& stored)
{
    stored_.reset();
    if (stored) {
        ResponseCurve levels = NoLevels();
        for (int step = 0; step < kFreqSteps; ++step)
            if (FreqTable[step] >= stored->hz.front() && FreqTable[step] <= stored->hz.back())
                levels[static_cast<std::size_t>(step)] = LevelAt(*stored, FreqTable[step]);
        stored_ = levels;
    }
    update();
}

void LiveGraph::SetPredicted(const std::optional<ResponseCurve>& predicted)
{
    predicted_ = predicted;
    update();
}

void LiveGraph::paintEvent(QPaintEvent*)
{
    std::optional<ResponseCurve> stored = stored_;
    if (stored) Shift(*stored, -storedOffsetDb_);
    const double shift = FitRangeMean(stored ? *stored : live_.trusted);
    std::vector<PlotCurve> curves;
    if (stored) {
        curves.push_back({QStringLiteral("Stored"), StoredColour(), *stored});
        Shift(curves.back().levels, shift);
    }
    curves.push_back({QStringLiteral("Live"), LiveColour(), live_.trusted});
    Shift(curves.back().levels, shift);
    if (predicted_) {
        curves.push_back({QStringLiteral("Predicted"), PredictedColour(), *predicted_});
        Shift(curves.back().levels, shift);
    }
    ResponseCurve faint = live_.faint;
    Shift(faint, shift);

    QPainter painter(this);
    DrawResponsePlot(painter, rect(), curves, ScreenPlotStyle());
    const PlotLayout layout(rect(), QFontMetricsF(painter.font(), painter.device()), curves.size() > 1);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(layout.Plot());
    QColor colour = LiveColour();
    colour.setAlpha(kFaintAlpha);
    DrawThinCurve(painter, layout, faint, colour);
}
