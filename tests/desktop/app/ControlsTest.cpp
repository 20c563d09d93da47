// The owner-drawn buttons: their shapes, faces and hit areas.
#include <QImage>
#include <QtTest>
#include <cmath>

#include "app/controls/FrameButton.h"
#include "app/controls/LabelButton.h"
#include "app/controls/RoundButton.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

// The bounding box of every pixel that differs from `background`.
QRect InkBox(const QImage& image, QColor background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != background) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Face(QWidget& widget) { return widget.grab().toImage(); }

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void roundButtonBecomesCircleOfShorterSide()
    {
        QWidget parent;
        parent.resize(200, 100);
        CRoundButton button(QStringLiteral("MIX"), &parent);
        button.PlaceOn(QRect(10, 20, 60, 40));
        QCOMPARE(button.geometry(), QRect(10, 20, 40, 40));
        QCOMPARE(button.CentreX(), 20);
        QCOMPARE(button.CentreY(), 20);
        QCOMPARE(button.Radius(), 19);
        QVERIFY(button.mask().contains(QPoint(20, 20)));
        QVERIFY(!button.mask().contains(QPoint(1, 1)));
        // A click on a corner of the square lands on the parent, not the button.
        QCOMPARE(parent.childAt(11, 21), nullptr);
        QCOMPARE(parent.childAt(30, 40), &button);
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(clicks.count(), 0);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clicks.count(), 1);
    }

    void midpointWalkStaysOnTheCircle()
    {
        for (int radius : {1, 5, 19, 40}) {
            const std::vector<QPoint> octant = MidpointOctant(radius);
            QCOMPARE(octant.front(), QPoint(radius, 0));
            for (std::size_t i = 0; i < octant.size(); ++i) {
                const QPoint p = octant[i];
                QVERIFY(p.y() <= p.x() + 1);
                QVERIFY(std::abs(std::hypot(p.x(), p.y()) - radius) < 1.0);
                if (i > 0) QCOMPARE(p.y(), octant[i - 1].y() + 1);
            }
            // The walk reaches the diagonal.
            QVERIFY(octant.back().x() - octant.back().y() <= 1);
        }
    }

    void rimShadeRunsFromUpperLeftToLowerRight()
    {
        const QColor white(255, 255, 255), black(0, 0, 0);
        QCOMPARE(RimShade(-2.356, white, black), white);
        QCOMPARE(RimShade(0.785, white, black), black);
        const QColor middle = RimShade(-0.785, white, black);  // upper right: half way
        QVERIFY(std::abs(middle.red() - 127) <= 1);
        QCOMPARE(middle.red(), middle.blue());
        // Both ends of the angle range meet without a seam.
        QVERIFY(std::abs(RimShade(3.14159, white, black).red() - RimShade(-3.14159, white, black).red()) <= 1);
    }

    void roundButtonRimIsRaisedThenSunkenWhenPressed()
    {
        CRoundButton button(QStringLiteral("MIX"));
        button.PlaceOn(QRect(0, 0, 40, 40));
        // The outer rim's left-most point leans to the upper-left colour.
        const QColor leftRaised = Face(button).pixelColor(1, 20);
        button.setDown(true);
        const QColor leftSunken = Face(button).pixelColor(1, 20);
        const QPalette colours = button.palette();
        QCOMPARE(leftRaised, RimShade(3.141592654, colours.color(QPalette::Light), colours.color(QPalette::Shadow)));
        QCOMPARE(leftSunken, RimShade(3.141592654, colours.color(QPalette::Shadow), colours.color(QPalette::Light)));
        QVERIFY(leftRaised.lightness() > leftSunken.lightness());
        // Corners outside the circle are black.
        QCOMPARE(Face(button).pixelColor(0, 0), QColor(Qt::black));
    }

    void focusedRoundButtonShowsBlackAndDottedCircles()
    {
        QWidget window;
        window.resize(100, 100);
        CRoundButton button(QStringLiteral("MIX"), &window);
        button.PlaceOn(QRect(0, 0, 40, 40));
        QPushButton other(QStringLiteral("other"), &window);
        other.setGeometry(50, 50, 40, 20);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        button.setFocus();
        QVERIFY(button.hasFocus());
        const QImage focused = Face(button);
        // Outer circle black at radius 19; dotted circle at 19 - 1 - 2 - 2 = 14
        // plots its first step at the left-most point.
        QCOMPARE(focused.pixelColor(1, 20), QColor(Qt::black));
        QCOMPARE(focused.pixelColor(20 - 14, 20), QColor(Qt::black));
        other.setFocus();
        const QImage unfocused = Face(button);
        QVERIFY(unfocused.pixelColor(1, 20) != QColor(Qt::black));
        QVERIFY(unfocused.pixelColor(20 - 14, 20) != QColor(Qt::black));
    }

    void frameButtonPressedMovesCaptionNotFrame()
    {
        CFrameButton button(QStringLiteral("1.00k"));
        button.resize(60, 20);
        const QImage up = Face(button);
        button.setDown(true);
        const QImage down = Face(button);
        QCOMPARE(up.pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(down.pixelColor(59, 19), QColor(Qt::black));
        QCOMPARE(up.pixelColor(1, 1), QColor(Qt::white));
        const QRect inner(2, 2, 56, 16);
        const QRect upInk = InkBox(up.copy(inner), Qt::white);
        const QRect downInk = InkBox(down.copy(inner), Qt::white);
        QVERIFY(!upInk.isEmpty());
        QCOMPARE(downInk, upInk.translated(1, 1));
    }

    void labelButtonWithoutCaptionIsPlainBlack()
    {
        CLabelButton button;
        button.resize(30, 12);
        QCOMPARE(InkBox(Face(button), Qt::black), QRect());
        button.setText(QStringLiteral("SUB"));
        const QImage withCaption = Face(button);
        QVERIFY(!InkBox(withCaption, Qt::black).isEmpty());
        button.setDown(true);
        QCOMPARE(Face(button), withCaption);
    }
};

QUENBAR_DESKTOP_TEST(ControlsTest)
#include "ControlsTest.moc"
