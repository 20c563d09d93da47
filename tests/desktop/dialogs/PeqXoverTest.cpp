// The PEQ and crossover dialogs driving an emulated unit: typed values,
// shelf switching, send thinning, band stepping, crossover ranges, and
// both following an undo, a redo or an A/B switch, with the history's keys.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QtTest>

#include <chrono>

#include "app/AbSwitch.h"
#include "app/EditHistory.h"
#include "app/UnitLink.h"
#include "dialogs/DlgPeq.h"
#include "dialogs/DlgXover.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/desktop/dialogs/FormControls.h"

namespace {

QString Text(QWidget* dialog, const char* name)
{
    if (auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name))) return edit->text();
    return Child<QLabel>(dialog, name)->text();
}

// The band message of slot 0, band 0 with the model's present values.
Payload BandZero(int shelfByte = 0)
{
    return {5,
            std::uint8_t(model.peqGain[0]),
            std::uint8_t(43 - model.peqBandwidth[0]),
            std::uint8_t(model.peqFreq[0] >> 8),
            std::uint8_t(model.peqFreq[0] & 0xFF),
            std::uint8_t(model.peqFlat[0]),
            std::uint8_t(shelfByte)};
}

}  // namespace

class PeqXoverTest : public QObject {
    Q_OBJECT
private:
    UnitOnLine unit_;

private slots:
    void initTestCase() { QVERIFY(unit_.Open() && unit_.Connect()); }
    void init()
    {
        unit_.Reset();
        model.curChannel = kSlotLeftRight;
        model.curBand = 0;
    }

    void typedPeqFrequenciesFollowTheKiloRuleAndRange()
    {
        CDlgPeq dialog;
        const struct {
            const char* typed;
            int step;
            const char* shown;
        } cases[] = {{"1k", 238, "1000Hz"}, {"21", 35, "19.7Hz"}, {"25000", 394, "20200Hz"}, {"k5", 35, "19.7Hz"}};
        for (const auto& c : cases) {
            TypeAndEnter(&dialog, "freqEdit", c.typed);
            QCOMPARE(model.peqFreq[0], c.step);
            QCOMPARE(Text(&dialog, "freqEdit"), QString(c.shown));
            QCOMPARE(Child<QScrollBar>(&dialog, "freqBar")->value(), c.step);
            QCOMPARE(unit_.Last(), BandZero());
        }
        QCOMPARE(unit_.Last(), Payload({5, 128, 25, 0, 35, 0, 0}));
        TypeAndEnter(&dialog, "freqEdit", "25000");
        QCOMPARE(unit_.Last(), Payload({5, 128, 25, 1, 138, 0, 0}));
        QCOMPARE(unit_.Count(), 5u);
    }

    void typedPeqGainsRoundUpToTenths()
    {
        CDlgPeq dialog;
        const struct {
            const char* typed;
            int step;
            const char* shown;
        } cases[] = {{"1.25", 141, "+1.3dB"}, {"-1.25", 116, "-1.2dB"}, {"20", 248, "+12.0dB"}};
        for (const auto& c : cases) {
            TypeAndEnter(&dialog, "gainEdit", c.typed);
            QCOMPARE(model.peqGain[0], c.step);
            QCOMPARE(Text(&dialog, "gainEdit"), QString(c.shown));
            QCOMPARE(Child<QSlider>(&dialog, "gainBar")->value(), 128 - c.step);
            QCOMPARE(unit_.Last(), BandZero());
        }
        QVERIFY(!Child<QCheckBox>(&dialog, "lowShelf")->isEnabled());
        QTest::mouseClick(Child<QPushButton>(&dialog, "setZeroDb"), Qt::LeftButton);
        QCOMPARE(model.peqGain[0], 128);
        QCOMPARE(Text(&dialog, "gainEdit"), QString("+0dB"));
        QVERIFY(Child<QCheckBox>(&dialog, "lowShelf")->isEnabled());
        QCOMPARE(unit_.Last(), Payload({5, 128, 25, 0, 238, 0, 0}));
    }

    void shelfBoxesAndLettersSwitchTheBandKind()
    {
        model.peqFreq[0] = 100;
        CDlgPeq dialog;
        auto* bar = Child<QScrollBar>(&dialog, "freqBar");
        QTest::mouseClick(Child<QCheckBox>(&dialog, "highShelf"), Qt::LeftButton);
        QCOMPARE(model.peqHiShelf[0], 1);
        QCOMPARE(model.peqFreq[0], 238);
        QCOMPARE(bar->minimum(), 238);
        QCOMPARE(bar->maximum(), 394);
        QCOMPARE(Text(&dialog, "freqLeft"), QString("1.0kHz"));
        QCOMPARE(Text(&dialog, "bandwidthEdit"), QString("HISHELF"));
        QCOMPARE(unit_.Last(), BandZero(0x01));
        QTest::mouseClick(Child<QCheckBox>(&dialog, "lowShelf"), Qt::LeftButton);
        QCOMPARE(model.peqHiShelf[0], 0);
        QCOMPARE(model.peqLoShelf[0], 1);
        QVERIFY(!Child<QCheckBox>(&dialog, "highShelf")->isChecked());
        QCOMPARE(bar->maximum(), 238);
        QCOMPARE(Text(&dialog, "freqRight"), QString("1.0kHz"));
        QCOMPARE(unit_.Last(), BandZero(0x10));
        TypeAndEnter(&dialog, "freqEdit", "5000");
        QCOMPARE(model.peqFreq[0], 238);
        // A number in the bandwidth box makes it a bell again.
        TypeAndEnter(&dialog, "bandwidthEdit", "1.0");
        QCOMPARE(model.peqLoShelf[0], 0);
        QCOMPARE(model.peqBandwidth[0], 33);
        QCOMPARE(Text(&dialog, "bandwidthEdit"), QString("0.991 oct"));
        QCOMPARE(bar->maximum(), 394);
        QCOMPARE(unit_.Last(), BandZero(0));
        // At +3 dB a shelf letter keeps the bell and its bandwidth.
        TypeAndEnter(&dialog, "gainEdit", "3");
        TypeAndEnter(&dialog, "bandwidthEdit", "l");
        QCOMPARE(model.peqLoShelf[0], 0);
        QCOMPARE(model.peqBandwidth[0], 33);
        // At 0 dB it turns the band into a low shelf at 1000 Hz.
        TypeAndEnter(&dialog, "gainEdit", "0");
        model.peqFreq[0] = 300;
        TypeAndEnter(&dialog, "bandwidthEdit", "low");
        QCOMPARE(model.peqLoShelf[0], 1);
        QCOMPARE(model.peqFreq[0], 238);
        QVERIFY(Child<QCheckBox>(&dialog, "lowShelf")->isChecked());
        QCOMPARE(Text(&dialog, "bandwidthEdit"), QString("LOSHELF"));
        QCOMPARE(unit_.Last(), BandZero(0x10));
        // A shelf with gain keeps its kind whatever is typed.
        TypeAndEnter(&dialog, "gainEdit", "-6");
        QVERIFY(!Child<QScrollBar>(&dialog, "bandwidthBar")->isEnabled());
        TypeAndEnter(&dialog, "bandwidthEdit", "0.5");
        QCOMPARE(model.peqLoShelf[0], 1);
        QCOMPARE(Text(&dialog, "bandwidthEdit"), QString("LOSHELF"));
    }

    void scrollBarsSendEveryFifteenthStepAndOnRelease()
    {
        model.peqFreq[0] = 100;
        CDlgPeq dialog;
        auto* bar = Child<QScrollBar>(&dialog, "freqBar");
        // A click with release: one step, sent at the release.
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(model.peqFreq[0], 101);
        QCOMPARE(unit_.Count(), 1u);
        QCOMPARE(unit_.Last(), BandZero());
        // Held down: the fifteenth step sends, the release once more.
        for (int i = 0; i < 14; ++i) QTest::keyPress(bar, Qt::Key_Right);
        QCOMPARE(unit_.Count(), 1u);
        QTest::keyPress(bar, Qt::Key_Right);
        QCOMPARE(unit_.Count(), 2u);
        QCOMPARE(unit_.Last(), Payload({5, 128, 25, 0, 116, 0, 0}));
        QTest::keyPress(bar, Qt::Key_Right);
        QTest::keyRelease(bar, Qt::Key_Right);
        QCOMPARE(unit_.Count(), 3u);
        QCOMPARE(model.peqFreq[0], 117);
        QCOMPARE(unit_.Last(), Payload({5, 128, 25, 0, 117, 0, 0}));
        QCOMPARE(Text(&dialog, "freqEdit"), QString("97.0Hz"));
        // Page steps move by five and send only at the release.
        QTest::keyPress(bar, Qt::Key_PageDown);
        QCOMPARE(model.peqFreq[0], 112);
        QCOMPARE(unit_.Count(), 3u);
        QTest::keyRelease(bar, Qt::Key_PageDown);
        QCOMPARE(unit_.Count(), 4u);
        // Home is swallowed: the bar never jumps to an end.
        QTest::keyClick(bar, Qt::Key_Home);
        QCOMPARE(model.peqFreq[0], 112);
    }

    void gainChangeLeftUnsentIsSentByTheTimer()
    {
        CDlgPeq dialog;
        auto* gain = Child<QSlider>(&dialog, "gainBar");
        gain->triggerAction(QAbstractSlider::SliderPageStepAdd);  // not counted, not sent
        gain->setSliderDown(true);
        gain->setSliderDown(false);  // release: resets the count
        const std::size_t before = unit_.Count();
        QCOMPARE(before, 1u);
        const auto start = std::chrono::steady_clock::now();
        gain->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        const auto stepped = std::chrono::steady_clock::now();
        QCOMPARE(model.peqGain[0], 128 - 11);
        QCOMPARE(unit_.Count(), before);
        dialog.OnGainTimer(start + std::chrono::milliseconds(400));
        QCOMPARE(unit_.Count(), before);
        dialog.OnGainTimer(stepped + std::chrono::milliseconds(501));
        QCOMPARE(unit_.Count(), before + 1);
        QCOMPARE(unit_.Last(), BandZero());
        dialog.OnGainTimer(stepped + std::chrono::seconds(5));
        QCOMPARE(unit_.Count(), before + 1);
        // The dialog's own 100 ms timer does the same while it runs.
        gain->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(unit_.Count(), before + 1);
        QTRY_COMPARE_WITH_TIMEOUT(unit_.Count(), before + 2, 2000);
        QCOMPARE(unit_.Last(), BandZero());
    }

    void bandButtonsStepWithinThreeBandsAndSendNothing()
    {
        model.peqFreq[PeqIndex(kSlotSub, 1)] = 300;
        model.curChannel = kSlotSub;
        CDlgPeq dialog;
        auto* previous = Child<QPushButton>(&dialog, "previousBand");
        auto* next = Child<QPushButton>(&dialog, "nextBand");
        QCOMPARE(Text(&dialog, "bandName"), QString("PEQ 1"));
        QVERIFY(!previous->isEnabled());
        QVERIFY(!previous->icon().isNull() && !next->icon().isNull());
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(model.curBand, 1);
        QCOMPARE(Text(&dialog, "bandName"), QString("PEQ 2"));
        QCOMPARE(Text(&dialog, "freqEdit"), QString("3300Hz"));
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(model.curBand, 2);
        QVERIFY(!next->isEnabled());
        QVERIFY(previous->isEnabled());
        QCOMPARE(unit_.Count(), 0u);
        QTest::mouseClick(Child<QCheckBox>(&dialog, "flat"), Qt::LeftButton);
        QCOMPARE(model.peqFlat[PeqIndex(kSlotSub, 2)], 1);
        QCOMPARE(unit_.Last(), Payload({34, 128, 25, 0, 238, 1, 0}));
    }

    void crossoverRangesFollowTheOtherFilter()
    {
        model.lpfFreq[0] = 300;
        model.hpfFreq[0] = 20;
        CDlgXover dialog(CDlgXover::kHighPass);
        auto* bar = Child<QScrollBar>(&dialog, "freqBar");
        QCOMPARE(bar->maximum(), 300);
        QCOMPARE(Text(&dialog, "freqLeft"), QString("10.0Hz"));
        QCOMPARE(Text(&dialog, "freqRight"), QString("3300Hz"));
        QTest::mouseClick(Child<QPushButton>(&dialog, "lowPass"), Qt::LeftButton);
        QCOMPARE(dialog.side(), CDlgXover::kLowPass);
        QCOMPARE(bar->minimum(), 65);
        QCOMPARE(Text(&dialog, "freqLeft"), QString("35.1Hz"));
        QCOMPARE(Text(&dialog, "freqRight"), QString("20200Hz"));
        QCOMPARE(Text(&dialog, "freqEdit"), QString("3300Hz"));
        model.lpfFreq[0] = 394;
        QTest::mouseClick(Child<QPushButton>(&dialog, "highPass"), Qt::LeftButton);
        QCOMPARE(bar->maximum(), 382);
        QCOMPARE(Text(&dialog, "freqRight"), QString("16000Hz"));
        QCOMPARE(unit_.Count(), 0u);
        // Line steps stop at the side's limit.
        model.hpfFreq[0] = 382;
        QTest::mouseClick(Child<QPushButton>(&dialog, "highPass"), Qt::LeftButton);
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(model.hpfFreq[0], 382);
        QCOMPARE(unit_.Last(), Payload({59, 0, 1, 126, 0}));
    }

    void typedCrossoverFrequenciesAndTypeList()
    {
        model.curChannel = kSlotSub;
        model.hpfFreq[kSlotSub] = 100;
        model.lpfType[kSlotSub] = 27;
        CDlgXover dialog(CDlgXover::kHighPass);
        auto* types = Child<QListWidget>(&dialog, "types");
        QCOMPARE(types->count(), 25);
        QCOMPARE(types->item(0)->text(), QString("FLAT THRU "));
        QCOMPARE(types->item(24)->text(), QString("24dB Link-Riley"));
        TypeAndEnter(&dialog, "freqEdit", "9");
        QCOMPARE(model.hpfFreq[kSlotSub], 1);
        QCOMPARE(unit_.Last(), Payload({39, 0, 0, 1, 0}));
        TypeAndEnter(&dialog, "freqEdit", "5");
        QCOMPARE(model.hpfFreq[kSlotSub], 0);
        QCOMPARE(Text(&dialog, "freqEdit"), QString("10.0Hz"));
        model.hpfFreq[kSlotSub] = 100;
        QTest::mouseClick(Child<QPushButton>(&dialog, "lowPass"), Qt::LeftButton);
        QVERIFY(types->selectedItems().isEmpty());
        TypeAndEnter(&dialog, "freqEdit", "2k");
        QCOMPARE(model.lpfFreq[kSlotSub], 274);
        QCOMPARE(Text(&dialog, "freqEdit"), QString("2000Hz"));
        QCOMPARE(unit_.Last(), Payload({49, 27, 1, 18, 0}));
        TypeAndEnter(&dialog, "freqEdit", "50");
        QCOMPARE(model.lpfFreq[kSlotSub], 100);
        const std::size_t before = unit_.Count();
        types->setCurrentRow(3);
        QCOMPARE(model.lpfType[kSlotSub], 3);
        QCOMPARE(unit_.Count(), before + 1);
        QCOMPARE(unit_.Last(), Payload({49, 3, 0, 100, 0}));
        // Enter anywhere else changes nothing and does not close the dialog.
        dialog.show();
        QTest::keyClick(types, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(unit_.Count(), before + 1);
    }

    void dialogsFollowUndoRedoAndSwitchesAndTakeTheHistorysKeys()
    {
        TheEditHistory().Enter({HistoryEntry::NewHistory, {}});
        CDlgPeq peq;
        peq.show();
        QApplication::setActiveWindow(&peq);
        auto* gain = Child<QLineEdit>(&peq, "gainEdit");
        TypeAndEnter(&peq, "gainEdit", "-2");
        TypeAndEnter(&peq, "gainEdit", "3");
        // In the box just typed into, the keys undo the band's step, not the typing.
        QTest::keyClick(gain, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model.peqGain[0], 108);
        QCOMPARE(gain->text(), QString("-2.0dB"));
        QCOMPARE(Child<QSlider>(&peq, "gainBar")->value(), 20);
        QCOMPARE(unit_.Last(), BandZero());
        QTest::keyClick(gain, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(gain->text(), QString("3.0dB"));
        QTest::keyClick(gain, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(gain, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(model.peqGain[0], 158);
        QCOMPARE(Child<QSlider>(&peq, "gainBar")->value(), -30);
        peq.close();

        CDlgXover xover(CDlgXover::kLowPass);
        xover.show();
        QApplication::setActiveWindow(&xover);
        TypeAndEnter(&xover, "freqEdit", "500");
        const QString kept = Text(&xover, "freqEdit");
        AbSwitch sides;
        sides.Keep(AbSide::A);
        TypeAndEnter(&xover, "freqEdit", "2k");
        QVERIFY(sides.SwitchTo(AbSide::A));
        QCOMPARE(Text(&xover, "freqEdit"), kept);
        QCOMPARE(Child<QScrollBar>(&xover, "freqBar")->value(), model.lpfFreq[0]);
        QTest::keyClick(Child<QLineEdit>(&xover, "freqEdit"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(&xover, "freqEdit"), QString("2000Hz"));
        QCOMPARE(Child<QScrollBar>(&xover, "freqBar")->value(), 274);
    }
};

QUENBAR_DESKTOP_TEST(PeqXoverTest)
#include "PeqXoverTest.moc"
