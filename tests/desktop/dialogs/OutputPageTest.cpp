// The output page and the channel sheet driving an emulated unit: what each
// control stores in the model and the exact frame the unit receives.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "app/UnitLink.h"
#include "app/controls/FrameButton.h"
#include "dialogs/ChannelSettings.h"
#include "dialogs/DlgOutput.h"
#include "dialogs/DlgPeq.h"
#include "dialogs/DlgSetting.h"
#include "dialogs/DlgXover.h"
#include "dialogs/UpDown.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/desktop/dialogs/FormControls.h"

namespace {

QString EditText(QWidget* page, const char* name) { return Child<QLineEdit>(page, name)->text(); }

}  // namespace

class OutputPageTest : public QObject {
    Q_OBJECT
private:
    UnitOnLine unit_;
    std::unique_ptr<CDlgOutput> page_;

    CDlgOutput* OpenPage(int slot)
    {
        page_ = std::make_unique<CDlgOutput>(slot, slot == kSlotSub ? "Sub Chan" : "Left&&Right");
        page_->show();
        return page_.get();
    }

private slots:
    void initTestCase() { QVERIFY(unit_.Open() && unit_.Connect()); }
    void init() { unit_.Reset(); }
    void cleanup() { page_.reset(); }

    void levelTrackBarStoresAndSendsEachPosition()
    {
        CDlgOutput* page = OpenPage(kSlotLeftRight);
        auto* level = Child<QSlider>(page, "level");
        QCOMPARE(level->value(), 0);
        const struct {
            int position;
            int gain;
            const char* text;
        } cases[] = {{-12, 140, "+6.0dB"}, {120, 8, "-60.0dB"}, {0, 128, "+0.0dB"}};
        for (const auto& c : cases) {
            level->setValue(c.position);
            QCOMPARE(model.gain[0], c.gain);
            QCOMPARE(EditText(page, "levelEdit"), QString(c.text));
            QCOMPARE(unit_.Last(), Payload({211, std::uint8_t(c.gain), 0}));
        }
        QCOMPARE(unit_.Count(), 3u);
        // A key press is one step and one message.
        level->setFocus();
        QTest::keyClick(level, Qt::Key_Down);
        QCOMPARE(unit_.Count(), 4u);
        QCOMPARE(model.gain[0], 127);
    }

    void typedLevelIsHalvedTruncatedAndNeverClosesTheSheet()
    {
        CDlgSetting sheet;
        sheet.show();
        CDlgOutput* page = sheet.page(0);
        TypeAndEnter(page, "levelEdit", "3.7");
        QCOMPARE(model.gain[0], 135);
        QCOMPARE(EditText(page, "levelEdit"), QString("+3.5dB"));
        QCOMPARE(Child<QSlider>(page, "level")->value(), -7);
        QCOMPARE(unit_.Last(), Payload({211, 135, 0}));
        TypeAndEnter(page, "levelEdit", "-0.7");
        QCOMPARE(EditText(page, "levelEdit"), QString("-0.5dB"));
        TypeAndEnter(page, "levelEdit", "no number");
        QCOMPARE(EditText(page, "levelEdit"), QString("+0.0dB"));
        QVERIFY(sheet.isVisible());
        // Enter on a value button neither clicks it nor closes the sheet.
        const std::size_t sent = unit_.Count();
        auto* button = Child<CFrameButton>(page, "freq0");
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        QVERIFY(sheet.isVisible());
        QCOMPARE(unit_.Count(), sent);
    }

    void typedThresholdAndHoldAreClampedToTheirSteps()
    {
        CDlgOutput* page = OpenPage(kSlotLeftRight);
        const struct {
            const char* typed;
            int step;
            const char* shown;
        } thresholds[] = {{"Turn OFF", 11, "Off"}, {"15", 12, "10 dBu"}, {"-50", 62, "-40 dBu"}, {"", 22, "0 dBu"}};
        for (const auto& t : thresholds) {
            TypeAndEnter(page, "thresholdEdit", t.typed);
            QCOMPARE(model.limThreshold[0], t.step);
            QCOMPARE(EditText(page, "thresholdEdit"), QString(t.shown));
            QCOMPARE(Child<CUpDown>(page, "thresholdUpDown")->position(), -t.step);
            QCOMPARE(unit_.Last(), Payload({129, std::uint8_t(t.step), 0}));
        }
        TypeAndEnter(page, "holdEdit", "5");
        QCOMPARE(model.limHold[0], 1);
        QCOMPARE(EditText(page, "holdEdit"), QString("10"));
        QCOMPARE(unit_.Last(), Payload({164, 1, 0}));
        TypeAndEnter(page, "holdEdit", "1005");
        QCOMPARE(model.limHold[0], 100);
        QCOMPARE(EditText(page, "holdEdit"), QString("1000"));
        QCOMPARE(unit_.Last(), Payload({164, 100, 0}));
        QTest::keyClick(Child<QLineEdit>(page, "holdEdit"), Qt::Key_Down);
        QCOMPARE(model.limHold[0], 99);
        QCOMPARE(EditText(page, "holdEdit"), QString("990"));
        QCOMPARE(unit_.Last(), Payload({164, 99, 0}));
    }

    void thresholdUpDownAtOffPressedUpStaysOff()
    {
        CDlgOutput* page = OpenPage(kSlotLeftRight);
        auto* edit = Child<QLineEdit>(page, "thresholdEdit");
        QCOMPARE(edit->text(), QString("Off"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(model.limThreshold[0], 11);
        QCOMPARE(edit->text(), QString("Off"));
        QCOMPARE(unit_.Last(), Payload({129, 11, 0}));
        QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(model.limThreshold[0], 12);
        QCOMPARE(edit->text(), QString("10 dBu"));
        QCOMPARE(unit_.Last(), Payload({129, 12, 0}));
    }

    void typedDelaysInEachUnitAndUpDownsMoveTogether()
    {
        CDlgOutput* page = OpenPage(kSlotLeftRight);
        TypeAndEnter(page, "delayMsEdit", "12.5");
        QCOMPARE(model.delay[0], 125);
        QCOMPARE(EditText(page, "delayMsEdit"), QString("12.5 mS"));
        QCOMPARE(EditText(page, "delayMetresEdit"), QString("4.31 M"));
        QCOMPARE(EditText(page, "delayFeetEdit"), QString("14.12 Ft"));
        QCOMPARE(unit_.Last(), Payload({122, 125, 0}));
        TypeAndEnter(page, "delayMetresEdit", "1");
        QCOMPARE(model.delay[0], 29);
        QCOMPARE(EditText(page, "delayMetresEdit"), QString("1.00 M"));
        QCOMPARE(EditText(page, "delayMsEdit"), QString("2.9 mS"));
        QCOMPARE(unit_.Last(), Payload({122, 29, 0}));
        TypeAndEnter(page, "delayMsEdit", "-1");
        QCOMPARE(model.delay[0], 0);
        QCOMPARE(unit_.Last(), Payload({122, 0, 0}));
        // One step of the feet up-down moves all three.
        Child<CUpDown>(page, "delayFeetUpDown")->Step(1);
        QCOMPARE(model.delay[0], 1);
        for (const char* name : {"delayMsUpDown", "delayMetresUpDown", "delayFeetUpDown"})
            QCOMPARE(Child<CUpDown>(page, name)->position(), 1);
        QCOMPARE(EditText(page, "delayMsEdit"), QString("0.1 mS"));
        QCOMPARE(unit_.Last(), Payload({122, 1, 0}));
        QCOMPARE(unit_.Count(), 4u);
    }

    void flatAndOnBoxesSendTheirMessages()
    {
        CDlgOutput* page = OpenPage(kSlotLeftRight);
        QVERIFY(Child<QCheckBox>(page, "on")->isVisible());
        QTest::mouseClick(Child<QCheckBox>(page, "flat1"), Qt::LeftButton);
        QCOMPARE(model.curBand, 1);
        QCOMPARE(model.peqFlat[1], 1);
        QCOMPARE(unit_.Last(), Payload({10, 128, 25, 0, 238, 1, 0}));
        QTest::mouseClick(Child<QCheckBox>(page, "on"), Qt::LeftButton);
        QCOMPARE(model.xoverOn[0], 0);
        QCOMPARE(unit_.Last(), Payload({213, 0, 0}));
        QTest::mouseClick(Child<QCheckBox>(page, "mute"), Qt::LeftButton);
        QCOMPARE(unit_.Last(), Payload({212, 128, 1}));
        QTest::mouseClick(Child<QCheckBox>(page, "polarity"), Qt::LeftButton);
        QCOMPARE(unit_.Last(), Payload({127, 1, 0}));
    }

    void valueButtonsOpenTheEditorsAndRefreshTheRows()
    {
        CDlgOutput* page = OpenPage(kSlotSub);
        struct Seen {
            int band = -1, channel = -1, side = -1;
        } seen;
        QTimer::singleShot(0, [&seen] {
            auto* peq = qobject_cast<CDlgPeq*>(QApplication::activeModalWidget());
            if (peq == nullptr) return;
            seen.band = model.curBand;
            seen.channel = model.curChannel;
            TypeAndEnter(peq, "gainEdit", "3");
            peq->accept();
        });
        model.curChannel = kSlotLeftRight;  // whatever it was, the page's slot is edited
        QTest::mouseClick(Child<CFrameButton>(page, "q2"), Qt::LeftButton);
        QCOMPARE(seen.band, 2);
        QCOMPARE(seen.channel, kSlotSub);
        QCOMPARE(model.peqGain[PeqIndex(kSlotSub, 2)], 158);
        QCOMPARE(Child<CFrameButton>(page, "gain2")->text(), QString("3.0dB"));
        QCOMPARE(unit_.Last(), Payload({34, 158, 25, 0, 238, 0, 0}));

        QTimer::singleShot(0, [&seen] {
            auto* xover = qobject_cast<CDlgXover*>(QApplication::activeModalWidget());
            if (xover == nullptr) return;
            seen.side = xover->side();
            TypeAndEnter(xover, "freqEdit", "2k");
            xover->reject();
        });
        QTest::mouseClick(Child<CFrameButton>(page, "xover3"), Qt::LeftButton);
        QCOMPARE(seen.side, CDlgXover::kLowPass);
        QCOMPARE(Child<CFrameButton>(page, "xover2")->text(), QString("2000Hz"));
        QCOMPARE(unit_.Last(), Payload({49, 0, 1, 18, 0}));
    }

    void subPageUsesTheSubIdsAndHidesOn()
    {
        model.peqGain[PeqIndex(kSlotSub, 0)] = 158;
        model.hpfType[kSlotSub] = 22;
        CDlgOutput* page = OpenPage(kSlotSub);
        QCOMPARE(model.curChannel, kSlotSub);
        QVERIFY(!Child<QCheckBox>(page, "on")->isVisible());
        QCOMPARE(Child<CFrameButton>(page, "gain0")->text(), QString("3.0dB"));
        QCOMPARE(Child<CFrameButton>(page, "xover1")->text(), QString("24dB Butterworth"));
        Child<QSlider>(page, "level")->setValue(4);
        QCOMPARE(model.gain[kSlotSub], 124);
        QCOMPARE(model.gain[kSlotLeftRight], 128);
        QCOMPARE(unit_.Last(), Payload({4, 124, 0}));
        QTest::mouseClick(Child<QCheckBox>(page, "mute"), Qt::LeftButton);
        QCOMPARE(unit_.Last(), Payload({232, 124, 1}));
        QTest::mouseClick(Child<QCheckBox>(page, "polarity"), Qt::LeftButton);
        QCOMPARE(unit_.Last(), Payload({84, 1, 0}));
        TypeAndEnter(page, "delayMsEdit", "1");
        QCOMPARE(unit_.Last(), Payload({79, 10, 0}));
        TypeAndEnter(page, "thresholdEdit", "0");
        QCOMPARE(unit_.Last(), Payload({85, 22, 0}));
        TypeAndEnter(page, "holdEdit", "200");
        QCOMPARE(unit_.Last(), Payload({120, 20, 0}));
        QTest::mouseClick(Child<QCheckBox>(page, "flat0"), Qt::LeftButton);
        QCOMPARE(unit_.Last(), Payload({24, 158, 25, 0, 238, 1, 0}));
    }

    void sheetStartsOnTheBlocksPageAndSetsCurChannel()
    {
        struct Seen {
            QString caption, firstTab, secondTab;
            int page = -1, curChannel = -1;
            bool okAndCancel = false;
        } seen;
        QTimer::singleShot(0, [&seen] {
            auto* sheet = qobject_cast<CDlgSetting*>(QApplication::activeModalWidget());
            if (sheet == nullptr) return;
            seen = {sheet->windowTitle(), sheet->tabs()->tabText(0), sheet->tabs()->tabText(1),
                    sheet->tabs()->currentIndex(), model.curChannel};
            auto* buttons = sheet->findChild<QDialogButtonBox*>();
            seen.okAndCancel = buttons->standardButtons() == (QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
            model.gain[kSlotSub] = 100;  // edited while open, kept after Cancel
            buttons->button(QDialogButtonBox::Cancel)->click();
        });
        ShowChannelSettings(kSlotSub);
        QCOMPARE(seen.caption, QString("Device"));
        QCOMPARE(seen.firstTab, QString("Left&&Right"));
        QCOMPARE(seen.secondTab, QString("Sub Chan"));
        QCOMPARE(seen.page, 1);
        QCOMPARE(seen.curChannel, kSlotSub);
        QVERIFY(seen.okAndCancel);
        QCOMPARE(model.gain[kSlotSub], 100);

        // Any other slot starts on "Left&&Right"; switching tabs moves curChannel.
        CDlgSetting sheet;
        sheet.SetStartPageForSlot(7);
        sheet.show();
        QCOMPARE(sheet.tabs()->currentIndex(), 0);
        QCOMPARE(model.curChannel, kSlotLeftRight);
        sheet.tabs()->setCurrentIndex(1);
        QCOMPARE(model.curChannel, kSlotSub);
        QCOMPARE(Child<QSlider>(sheet.page(1), "level")->value(), 28);
        QCOMPARE(unit_.Count(), 0u);
    }
};

QUENBAR_DESKTOP_TEST(OutputPageTest)
#include "OutputPageTest.moc"
