// Undo and Redo in the desktop: a drag is one step, the Edit menu names the
// step, an undo reaches the emulated unit as the setting it had, a new edit
// drops what could be redone, offline the document's mark follows, and a
// reconnect to a unit holding another setting starts a new history.
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSlider>
#include <QStatusBar>
#include <QStyleOptionSlider>
#include <QToolBar>
#include <QtTest>
#include <functional>

#include "app/EditHistory.h"
#include "app/MainFrame.h"
#include "app/QuenbarDoc.h"
#include "app/QuenbarView.h"
#include "app/UnitLink.h"
#include "dialogs/DlgOutput.h"
#include "dialogs/DlgSetting.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/desktop/dialogs/FormControls.h"

namespace {

constexpr int kLeftRightGainBlock = 1000;

Image ModelImage()
{
    Image image{};
    ModelToImage(model, image.data());
    return image;
}

// Opens the Left&Right sheet from the view; `act` works in it while it is open.
void InChannelSheet(CMainFrame& frame, const std::function<void(CDlgSetting&)>& act)
{
    QTimer::singleShot(0, [&act] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* sheet = qobject_cast<CDlgSetting*>(window); sheet && sheet->isVisible()) {
                act(*sheet);
                sheet->accept();
            }
    });
    QTest::mouseClick(frame.View()->Control(kLeftRightGainBlock), Qt::LeftButton);
}

// Drags the slider's handle down by `pixels`, in several moves, as a hand does.
void DragHandleDown(QSlider* slider, int pixels)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = option.sliderValue = slider->value();
    option.upsideDown = !slider->invertedAppearance();
    const QPoint start =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
    QTest::mousePress(slider, Qt::LeftButton, {}, start);
    for (int i = 1; i <= 5; ++i) QTest::mouseMove(slider, start + QPoint(0, pixels * i / 5));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, start + QPoint(0, pixels));
}

// The window with its Edit menu open, as one picture: the menu is a window
// of its own, drawn over the frame where it stands. The tool bar moves to
// the bottom, where the menu does not hide its A and B.
QPixmap WithEditMenuOpen(CMainFrame& frame)
{
    frame.addToolBar(Qt::BottomToolBarArea, frame.findChild<QToolBar*>(QStringLiteral("toolbar")));
    QAction* editTitle = frame.menuBar()->actions().at(1);
    QMenu* edit = editTitle->menu();
    edit->popup(frame.menuBar()->mapToGlobal(frame.menuBar()->actionGeometry(editTitle).bottomLeft()));
    QTest::qWait(50);
    QPixmap picture = frame.grab();
    QPainter painter(&picture);
    painter.drawPixmap(frame.mapFromGlobal(edit->pos()), edit->grab());
    edit->hide();
    return picture;
}

QString CommandText(CMainFrame& frame, int id) { return frame.Command(id)->text().replace(QStringLiteral("&&"), "&"); }

}  // namespace

class HistoryTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<UnitOnLine> line_;

private slots:
    void init()
    {
        line_ = std::make_unique<UnitOnLine>();
        QVERIFY(line_->Open());
    }

    void cleanup() { line_.reset(); }

    void aDragIsOneStepWhoseUndoGivesTheUnitBackItsSettingAndANewEditDropsTheRedo()
    {
        line_->Unit().SetCurrentImage(DistinctImage(5));
        CMainFrame frame;
        frame.show();
        QVERIFY(line_->Connect());
        QVERIFY(ModelImage() == DistinctImage(5));
        QVERIFY(!frame.Command(kIdUndo)->isEnabled());
        QCOMPARE(CommandText(frame, kIdUndo), QStringLiteral("Undo"));
        const int gainBefore = model.gain[kSlotLeftRight];

        int stepsAfterDrag = -1;
        QString undoInSheet;
        InChannelSheet(frame, [&](CDlgSetting& sheet) {
            DragHandleDown(Child<QSlider>(sheet.page(0), "level"), 40);
            stepsAfterDrag = int(TheEditHistory().Steps().UndoCount());
            undoInSheet = TheEditHistory().UndoText();
            // Ctrl+Z works in the sheet, and the page shows the value undone.
            QApplication::setActiveWindow(&sheet);
            QCOMPARE(QApplication::activeWindow(), &sheet);
            QTest::keyClick(&sheet, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(Child<QSlider>(sheet.page(0), "level")->value(), kGainStepZero - gainBefore);
        });
        QCOMPARE(stepsAfterDrag, 1);
        QVERIFY(model.gain[kSlotLeftRight] == gainBefore);
        QVERIFY(undoInSheet.startsWith(QStringLiteral("Undo Level Left & Right \u2212")));
        QVERIFY(undoInSheet.endsWith(QStringLiteral(" dB")));
        // The unit holds exactly the setting it had: every byte of it.
        line_->Payloads();
        QVERIFY(line_->Unit().CurrentImage() == DistinctImage(5));

        QVERIFY(frame.Command(kIdRedo)->isEnabled());
        QCOMPARE(CommandText(frame, kIdRedo), undoInSheet.replace(QStringLiteral("Undo"), QStringLiteral("Redo")));
        frame.Command(kIdRedo)->trigger();
        QVERIFY(model.gain[kSlotLeftRight] < gainBefore - 1);
        line_->Payloads();
        QVERIFY(line_->Unit().CurrentImage() == ModelImage());
        frame.Command(kIdUndo)->trigger();

        // Only the field that differs is sent back.
        UnitWorker().WaitIdle();
        line_->Unit().ClearReceived();
        frame.Command(kIdRedo)->trigger();
        QCOMPARE(line_->Count(), std::size_t{1});
        frame.Command(kIdUndo)->trigger();

        // A new edit after the undo: nothing to redo any more.
        InChannelSheet(frame, [](CDlgSetting& sheet) { Child<QCheckBox>(sheet.page(0), "mute")->click(); });
        QVERIFY(!frame.Command(kIdRedo)->isEnabled());
        QCOMPARE(CommandText(frame, kIdUndo), QStringLiteral("Undo Mute Left & Right on"));
        QCOMPARE(TheEditHistory().Steps().UndoCount(), std::size_t{1});
    }

    void offlineTheDocumentTakesTheUndoneSettingAndItsMarkFollows()
    {
        CMainFrame frame;
        frame.show();
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));
        InChannelSheet(frame, [](CDlgSetting& sheet) { TypeAndEnter(sheet.page(0), "levelEdit", "-3"); });
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled* - Quenbar"));
        QCOMPARE(CommandText(frame, kIdUndo), QStringLiteral("Undo Level Left & Right \u22123.0 dB"));

        frame.Command(kIdUndo)->trigger();
        QCOMPARE(model.gain[kSlotLeftRight], kGainStepZero);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));  // back at the saved setting
        frame.Command(kIdRedo)->trigger();
        QCOMPARE(model.gain[kSlotLeftRight], kGainStepZero - 6);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled* - Quenbar"));
        Image documentCurrent{};
        std::copy(frame.Document()->Document().Current().begin(), frame.Document()->Document().Current().end(),
                  documentCurrent.begin());
        QVERIFY(documentCurrent == ModelImage());
        QVERIFY(line_->Unit().ReceivedBytes().empty());

        // A new document starts a new history.
        ModalAnswerer answerer;
        answerer.boxAnswer = QMessageBox::Discard;
        frame.Command(kIdFileNew)->trigger();
        QVERIFY(!frame.Command(kIdUndo)->isEnabled());
    }

    // A and B: a switch sends only the fields that differ and is one step;
    // the tool bar shows the active side and a drift from it.
    void aSwitchBetweenAAndBSendsTheDifferingFieldsAsOneStep()
    {
        line_->Unit().SetCurrentImage(DistinctImage(3));
        CMainFrame frame;
        frame.show();
        QVERIFY(line_->Connect());
        QVERIFY(!frame.Command(kIdSwitchA)->isEnabled());
        frame.Command(kIdKeepA)->trigger();
        InChannelSheet(frame, [](CDlgSetting& sheet) {
            TypeAndEnter(sheet.page(0), "levelEdit", "-20");
            Child<QCheckBox>(sheet.page(1), "polarity")->click();
        });
        QCOMPARE(frame.Command(kIdSwitchA)->text(), QStringLiteral("A*"));
        QVERIFY(WithEditMenuOpen(frame).save(QStringLiteral(UNDO_AB_SCREENSHOT)));
        frame.Command(kIdKeepB)->trigger();
        QVERIFY(frame.Command(kIdSwitchB)->isChecked());
        QCOMPARE(frame.Command(kIdSwitchB)->text(), QStringLiteral("B"));
        const Image b = ModelImage();

        UnitWorker().WaitIdle();
        line_->Unit().ClearReceived();
        frame.Command(kIdSwitchOver)->trigger();
        QVERIFY(ModelImage() == DistinctImage(3));
        QVERIFY(frame.Command(kIdSwitchA)->isChecked());
        QCOMPARE(CommandText(frame, kIdUndo), QStringLiteral("Undo Switch to A"));
        // The level goes up last: the polarity first.
        const std::vector<Payload> sent = line_->Payloads();
        QCOMPARE(sent.size(), std::size_t{2});
        QCOMPARE(int{sent[0].at(0)}, PID_SUB_PHASE);
        QCOMPARE(int{sent[1].at(0)}, PID_LR_GAIN);
        QVERIFY(line_->Unit().CurrentImage() == DistinctImage(3));

        frame.Command(kIdUndo)->trigger();
        QVERIFY(ModelImage() == b);
    }

    void aReconnectToAUnitHoldingAnotherSettingSaysSoAndStartsANewHistory()
    {
        line_->Unit().SetCurrentImage(DistinctImage(2));
        CMainFrame frame;
        frame.show();
        frame.Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(model.connected, 1);
        InChannelSheet(frame, [](CDlgSetting& sheet) { TypeAndEnter(sheet.page(0), "levelEdit", "-1"); });
        const Image edited = ModelImage();
        QCOMPARE(TheEditHistory().Steps().UndoCount(), std::size_t{1});

        // The same setting found again: the history goes on.
        frame.Command(kIdDisconnect)->trigger();
        WaitForUnit();
        frame.Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(ModelImage() == edited);
        QCOMPARE(TheEditHistory().Steps().UndoCount(), std::size_t{1});

        // Changed at the unit meanwhile: said, and a new history.
        frame.Command(kIdDisconnect)->trigger();
        WaitForUnit();
        line_->Unit().SetCurrentImage(DistinctImage(7));
        frame.Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(!frame.Command(kIdUndo)->isEnabled());
        QVERIFY(frame.StatusText().startsWith(QStringLiteral("The unit holds another setting")));
    }
};

QUENBAR_DESKTOP_TEST(HistoryTest)

#include "HistoryTest.moc"
