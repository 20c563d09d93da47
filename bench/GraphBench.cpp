// The output page redraws its response graph every 800 ms while it is shown:
// one full drawing (response computed from the model, grid, labels, curve,
// final copy) must stay far below that.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "graph/ResponseGraph.h"
#include "app/UnitLink.h"

namespace {

// A busy channel: both filters and three shaped bands.
void BusyChannel()
{
    model = ParameterModel{};
    LoadDefaults(model);
    model.hpfType[0] = 22;
    model.hpfFreq[0] = 100;
    model.lpfType[0] = 24;
    model.lpfFreq[0] = 300;
    const int gains[] = {188, 68, 148};
    for (int b = 0; b < 3; ++b) {
        model.peqGain[b] = gains[b];
        model.peqFreq[b] = 120 + 90 * b;
    }
    model.peqLoShelf[0] = 1;
}

void DrawIntoPage(benchmark::State& state, QRect graphRect)
{
    BusyChannel();
    QImage page(720, 480, QImage::Format_RGB32);
    const QPen curvePen(QColor(255, 0, 0), 1);
    for (auto _ : state) {
        QPainter painter(&page);
        DrawResponseGraph(painter, model, 0, graphRect, curvePen);
        painter.end();
        benchmark::DoNotOptimize(page.constBits());
    }
}

void BM_DrawResponseGraphCentred(benchmark::State& state) { DrawIntoPage(state, QRect(12, 9, 486, 245)); }
void BM_DrawResponseGraphScaled(benchmark::State& state) { DrawIntoPage(state, QRect(12, 9, 400, 150)); }

}  // namespace

BENCHMARK(BM_DrawResponseGraphCentred)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawResponseGraphScaled)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    // Text drawing needs the font database of a GUI application.
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
