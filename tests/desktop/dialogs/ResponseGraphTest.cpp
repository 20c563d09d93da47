// The response graph, checked pixel by pixel on an image.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <array>
#include <cmath>
#include <limits>

#include "graph/ResponseGraph.h"
#include "app/UnitLink.h"
#include "model/Scales.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kFrameGreen = qRgb(0, 255, 0);
const QPen kCurvePen(QColor(255, 0, 0), 1);

using Curve = std::array<double, kFreqSteps>;

bool IsLabelPixel(QRgb pixel) { return qRed(pixel) > 100 && qGreen(pixel) > 100 && qBlue(pixel) < 80; }

bool ColumnHasColour(const QImage& image, int x, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == colour) return true;
    return false;
}

// The horizontal extent of the label pixels inside a box of the image.
std::pair<int, int> LabelExtent(const QImage& image, int left, int top, int right, int bottom)
{
    int first = right + 1;
    int last = left - 1;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (IsLabelPixel(image.pixel(x, y))) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

// The graph of the model's slot drawn onto a white target of the given size.
QImage GraphOnWhite(QSize targetSize, QRect graphRect, int slot = kSlotLeftRight)
{
    QImage target(targetSize, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    DrawResponseGraph(painter, model, slot, graphRect, kCurvePen);
    return target;
}

}  // namespace

class ResponseGraphTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    void flatSettingDrawsRedLineOnTheZeroDbRow()
    {
        const QImage target = GraphOnWhite({500, 250}, QRect(0, 0, 500, 250));
        // Centred: (0 + 500 - 460) / 2 = 20, (0 + 250 - 190) / 2 = 30.
        const QPoint origin(20, 30);
        for (int x = 50; x <= 443; ++x) QCOMPARE(target.pixel(origin + QPoint(x, 90)), kRed);
        // The last segment leaves its end point to the green 0 dB line.
        QCOMPARE(target.pixel(origin + QPoint(444, 90)), kFrameGreen);
        QVERIFY(!ColumnHasColour(target.copy(origin.x(), origin.y(), 460, 89), 200, kRed));
        QCOMPARE(target.pixel(origin + QPoint(445, 15)), kFrameGreen);
        QCOMPARE(target.pixel(origin + QPoint(100, 165)), kFrameGreen);
        QCOMPARE(target.pixel(origin + QPoint(86, 100)), qRgb(55, 155, 55));
        QCOMPARE(target.pixel(origin + QPoint(2, 2)), qRgb(0, 0, 0));
        QCOMPARE(target.pixel(5, 5), qRgb(255, 255, 255));
    }

    void lowPassCurvePassesThroughItsComputedRows()
    {
        model.lpfType[0] = 19;  // "12dB Butterworth" at 1000 Hz: -3 dB at step 237, -12 at 273
        model.lpfFreq[0] = 238;
        const QImage target = GraphOnWhite({460, 190}, QRect(0, 0, 460, 190));
        const auto redNear = [&target](int x, int y) {
            return target.pixel(x, y - 1) == kRed || target.pixel(x, y) == kRed || target.pixel(x, y + 1) == kRed;
        };
        QVERIFY(redNear(50 + 237, 105));
        QVERIFY(redNear(50 + 273, 150));
        QCOMPARE(target.pixel(50 + 200, 90), kRed);
        QVERIFY(!ColumnHasColour(target, 50 + 330, kRed));  // below -15 dB there
    }

    void pointBelowTheFloorIsReachedWithoutALine()
    {
        Curve curve{};
        curve[150] = -20.0;  // row 190: below the -15 dB floor
        const QImage image = RenderResponseImage(curve, Qt::red);
        QVERIFY(ColumnHasColour(image, 198, kRed));
        QVERIFY2(!ColumnHasColour(image, 199, kRed), "the segment into the hidden point is drawn");
        // The next visible point is joined to it, starting below the frame.
        QCOMPARE(image.pixel(200, 180), kRed);
        QCOMPARE(image.pixel(201, 91), kRed);
        QCOMPARE(image.pixel(201, 90), kRed);
    }

    void valuesFarOutsideOrNotFiniteOnlyMoveThePen()
    {
        Curve curve{};
        curve[100] = std::numeric_limits<double>::quiet_NaN();
        curve[200] = 1e300;
        curve[250] = -std::numeric_limits<double>::infinity();
        curve[300] = 40.0;  // above the frame, still drawn and cut at the edge
        const QImage image = RenderResponseImage(curve, Qt::red);
        // NaN at x = 150: neither the line into it nor the one out of it.
        QVERIFY(!ColumnHasColour(image, 149, kRed));
        QVERIFY(!ColumnHasColour(image, 150, kRed));
        QCOMPARE(image.pixel(151, 90), kRed);
        // Far above at x = 250: not joined, but the line back comes down from it.
        QVERIFY(!ColumnHasColour(image, 249, kRed));
        QVERIFY(!ColumnHasColour(image, 250, kRed));
        QCOMPARE(image.pixel(251, 0), kRed);
        // Minus infinity at x = 300 lifts the pen like NaN.
        QVERIFY(!ColumnHasColour(image, 299, kRed));
        QVERIFY(!ColumnHasColour(image, 300, kRed));
        // +40 dB at x = 350 is drawn up to the image's edge.
        QCOMPARE(image.pixel(349, 0), kRed);
        QCOMPARE(image.pixel(351, 0), kRed);
        QCOMPARE(image.pixel(120, 90), kRed);
    }

    void levelLabelsEndAtTheirMarginAndFrequencyLabelsStartAtTheirs()
    {
        const QImage image = RenderResponseImage(Curve{}, Qt::red);
        for (int y = 15; y <= 165; y += 15) {
            const auto [first, last] = LabelExtent(image, 0, y - 7, 49, y + 5);
            QVERIFY2(last >= 42 && last <= 45, qPrintable(QString("level label at %1 ends at %2").arg(y).arg(last)));
            QVERIFY(first < last);
        }
        const auto [tenFirst, tenLast] = LabelExtent(image, 30, 170, 60, 189);
        QVERIFY2(tenLast >= 53 && tenLast <= 56, qPrintable(QString::number(tenLast)));
        const struct {
            int x;
            int chars;
        } labels[] = {{86, 2}, {168, 3}, {289, 2}, {409, 3}, {445, 3}};
        for (const auto& label : labels) {
            const int left = label.x - 3 * label.chars;
            const auto [first, last] = LabelExtent(image, left - 4, 170, label.x + 6, 189);
            QVERIFY2(first >= left && first <= left + 2,
                     qPrintable(QString("label at %1 starts at %2").arg(label.x).arg(first)));
        }
    }

    void largeRectangleCentresTheGraphAndSmallOneScalesIt()
    {
        // Exactly 460 x 190 takes the scaling branch, here 1:1 at its own corner.
        QImage target = GraphOnWhite({600, 400}, QRect(7, 3, 460, 190), kSlotSub);
        QCOMPARE(target.pixel(7 + 150, 3 + 90), kRed);
        QCOMPARE(target.pixel(7 + 459, 3 + 189), qRgb(0, 0, 0));
        QCOMPARE(target.pixel(7 + 460, 3 + 190), qRgb(255, 255, 255));
        // Twice as tall: the scaling branch stretches every row into two.
        target = GraphOnWhite({600, 400}, QRect(50, 10, 460, 380), kSlotSub);
        QCOMPARE(target.pixel(50 + 150, 10 + 180), kRed);
        QCOMPARE(target.pixel(50 + 150, 10 + 181), kRed);
        QVERIFY(target.pixel(50 + 150, 10 + 179) != kRed);
        QCOMPARE(target.pixel(50 + 459, 10 + 379), qRgb(0, 0, 0));
        QCOMPARE(target.pixel(50 + 460, 10 + 379), qRgb(255, 255, 255));
    }
};

QUENBAR_DESKTOP_TEST(ResponseGraphTest)
#include "ResponseGraphTest.moc"
