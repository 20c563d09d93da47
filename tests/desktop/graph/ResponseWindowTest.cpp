// The response window: both curves follow the model as connect and edits
// change it, and its exports (and the settings report of the main menu)
// are files that independent readers open.
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

#include "ResponsePlot.h"
#include "app/MainFrame.h"
#include "app/QuenbarApp.h"
#include "app/UnitLink.h"
#include "graph/ExportFiles.h"
#include "graph/ResponseWindow.h"
#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "response/GraphCurve.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/report/PdfProbe.h"

namespace {

constexpr int kHighStep = 330;  // far above 1 kHz

// The factory setting with the Sub channel low-passed at 1 kHz.
std::array<std::uint8_t, kImageSize> SubLowPassImage()
{
    ParameterModel setting{};
    LoadDefaults(setting);
    setting.lpfType[kSlotSub] = 19;  // "12dB Butterworth"
    setting.lpfFreq[kSlotSub] = 238;
    std::array<std::uint8_t, kImageSize> image{};
    ModelToImage(setting, image.data());
    return image;
}

// Whether a pixel within two rows of `at` has about the colour.
bool ColourNear(const QImage& image, QPoint at, const QColor& colour)
{
    for (int dy = -2; dy <= 2; ++dy) {
        const QColor pixel = image.pixelColor(at + QPoint(0, dy));
        if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                std::abs(pixel.blue() - colour.blue()) <
            60)
            return true;
    }
    return false;
}

// Where the graph of `window` puts step k at `dB`, in the window's pixels.
QPoint ShownPoint(CResponseWindow* window, int step, double dB)
{
    QWidget* graph = window->Graph();
    const PlotLayout layout(graph->rect(), QFontMetricsF(graph->font(), graph), true);
    return graph->mapTo(window, layout.Map(StepColumn(step), LevelRow(dB)).toPoint());
}

// What the window shows on the screen now (not a fresh paint).
QImage OnScreen(CResponseWindow* window) { return window->screen()->grabWindow(window->winId()).toImage(); }

// The curve drawn last at 0 dB far above 1 kHz: Sub while it is flat there.
QColor TopCurveColourAtZeroDb(CResponseWindow* window)
{
    const QImage shown = OnScreen(window);
    const QPoint at = ShownPoint(window, kHighStep, 0.0);
    const PlotStyle style = ScreenPlotStyle();
    if (ColourNear(shown, at, style.sub)) return style.sub;
    if (ColourNear(shown, at, style.leftRight)) return style.leftRight;
    return {};
}

}  // namespace

class ResponseWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    void windowFollowsOperationsAndEditsLive()
    {
        const auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        unit->SetCurrentImage(SubLowPassImage());
        CQuenbarApp app;
        app.InitInstance();
        CMainFrame* frame = app.MainFrame();
        frame->Command(kIdViewResponse)->trigger();
        CResponseWindow* window = frame->ResponseWindow();
        QVERIFY(window && window->isVisible());
        window->resize(700, 360);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const PlotStyle style = ScreenPlotStyle();
        QTRY_COMPARE(TopCurveColourAtZeroDb(window), style.sub);

        // Connect reads the unit's setting: Sub drops away above 1 kHz.
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(model.connected);
        QTRY_COMPARE(TopCurveColourAtZeroDb(window), style.leftRight);
        QTRY_VERIFY(ColourNear(OnScreen(window), ShownPoint(window, 237, -3.0), style.sub));

        // An edit as the crossover dialog makes it: Sub is flat again.
        model.lpfType[kSlotSub] = 0;
        SendEdit(PID_SUB_LPF);
        QTRY_COMPARE(TopCurveColourAtZeroDb(window), style.sub);
    }

    void exportsHoldWhatTheWindowShowsAndEveryPoint()
    {
        model.hpfType[kSlotLeftRight] = 22;  // "24dB Butterworth" at 100 Hz
        model.hpfFreq[kSlotLeftRight] = 120;
        model.peqGain[PeqIndex(kSlotSub, 1)] = 200;
        CResponseWindow window;
        window.resize(640, 330);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTemporaryDir dir;

        const QString png = dir.filePath(QStringLiteral("response.png"));
        QVERIFY(window.ExportPng(png));
        const QImage picture(png);
        QCOMPARE(picture.size(), window.Graph()->size());
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
                 window.Graph()->grab().toImage().convertToFormat(QImage::Format_RGB32));

        const QString svg = dir.filePath(QStringLiteral("response.svg"));
        QVERIFY(window.ExportSvg(svg));
        QSvgRenderer drawing(svg);
        QVERIFY(drawing.isValid());
        QCOMPARE(drawing.viewBox(), window.Graph()->rect());
        QImage rendered(window.Graph()->size(), QImage::Format_RGB32);
        QPainter painter(&rendered);
        drawing.render(&painter);
        painter.end();
        // Each curve where the other one is far away: Left&Right on its
        // high-pass slope, Sub at the peak of its band.
        const PlotStyle style = ScreenPlotStyle();
        const QPoint origin = window.Graph()->pos();
        const int slope = 110;
        const int peak = model.peqFreq[PeqIndex(kSlotSub, 1)];
        const double slopeDb = ComputeResponse(model, kSlotLeftRight)[slope];
        QVERIFY(slopeDb < -6.0);
        QVERIFY(ColourNear(rendered, ShownPoint(&window, slope, slopeDb) - origin, style.leftRight));
        QVERIFY(ColourNear(rendered, ShownPoint(&window, peak, 7.2) - origin, style.sub));

        const QString csv = dir.filePath(QStringLiteral("response.csv"));
        QVERIFY(window.ExportCsv(csv));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), kFreqSteps + 2);  // the header, the steps, the end of the last line
        QCOMPARE(lines.front(), QByteArray("step,Hz,Left&Right dB,Sub dB"));
        const ResponseCurve leftRight = ComputeResponse(model, kSlotLeftRight);
        const ResponseCurve sub = ComputeResponse(model, kSlotSub);
        for (int k = 0; k < kFreqSteps; ++k) {
            const QList<QByteArray> fields = lines[k + 1].split(',');
            QCOMPARE(fields.size(), 4);
            QCOMPARE(fields[0].toInt(), k);
            QCOMPARE(fields[1].toDouble(), FreqTable[k]);
            QVERIFY(std::abs(fields[2].toDouble() - leftRight[k]) < 5e-7);
            QVERIFY(std::abs(fields[3].toDouble() - sub[k]) < 5e-7);
        }
        QVERIFY(!window.ExportCsv(QStringLiteral("/nonexistent-folder/response.csv")));
    }

    void settingsReportOfTheCurrentSettingIsOneA4Page()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("current.pdf"));
        QVERIFY(SaveSettingsReportTo(path));
        const PdfFacts facts = ReadPdfFacts(path.toStdString());
        QCOMPARE(facts.pages, 1);
        QCOMPARE(facts.pageSize, kA4PageSize);
        const std::string text = PdfText(path.toStdString());
        QVERIFY(text.find("Current setting") != std::string::npos);
        QVERIFY(text.find("(not connected)") != std::string::npos);
    }
};

QUENBAR_DESKTOP_TEST(ResponseWindowTest)
#include "ResponseWindowTest.moc"
