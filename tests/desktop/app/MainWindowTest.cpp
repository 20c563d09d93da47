// The main window against an emulated unit: Connect and Disconnect, the
// commands' enable states, the View toggles, the status bar and the view.
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>

#include "app/AppSettings.h"
#include "app/MainFrame.h"
#include "app/QuenbarApp.h"
#include "app/QuenbarView.h"
#include "app/UnitLink.h"
#include "dialogs/DlgSetting.h"
#include "link/Frame.h"
#include "log/CommunicationLog.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "model/Scales.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/support/Ser2netRig.h"

namespace {

EmulatedMemory NamedMemory(const std::string& name16, bool used)
{
    EmulatedMemory memory;
    memory.used = used;
    memory.name = name16;
    return memory;
}

// An image of the factory setting with the Left&Right level at step 100.
std::array<std::uint8_t, kImageSize> UnitSettingImage()
{
    const ParameterModel saved = model;
    model = ParameterModel{};
    LoadDefaults(model);
    model.gain[kSlotLeftRight] = 100;
    std::array<std::uint8_t, kImageSize> image{};
    ModelToImage(model, image.data());
    model = saved;
    return image;
}

bool Enabled(CMainFrame* frame, int id) { return frame->Command(id)->isEnabled(); }

// Clicks a block and reports which page the channel sheet opened on.
int SheetPageOpenedBy(QWidget* block)
{
    int page = -1;
    QTimer::singleShot(0, [&page] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* sheet = qobject_cast<CDlgSetting*>(widget); sheet && sheet->isVisible()) {
                page = sheet->tabs()->currentIndex();
                sheet->reject();
            }
    });
    QTest::mouseClick(block, Qt::LeftButton);
    return page;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Rx74Emulator> unit_;
    std::unique_ptr<Ser2netRig> ser2net_;
    std::unique_ptr<CQuenbarApp> app_;

    bool StartUnit(EmulatorFaults faults = {})
    {
        unit_ = StartEmulatorOnCom(1, faults);
        if (!unit_) return false;
        unit_->SetMemory(1, NamedMemory("ABCD            ", true));
        unit_->SetMemory(2, NamedMemory("ABCDEFGHIJKLMNOP", true));
        unit_->SetMemory(3, NamedMemory("                ", false));
        unit_->SetCurrentImage(UnitSettingImage());
        return true;
    }

    CMainFrame* StartApp()
    {
        app_ = std::make_unique<CQuenbarApp>();
        app_->InitInstance();
        return app_->MainFrame();
    }

    CMainFrame* StartProgram(EmulatorFaults faults = {}) { return StartUnit(faults) ? StartApp() : nullptr; }

private slots:
    void init()
    {
        ClearProgramSettings();
        model = ParameterModel{};
    }

    void cleanup()
    {
        app_.reset();
        ser2net_.reset();
        unit_.reset();
    }

    void connectReadsTheUnitAndSwapsTheCommandStates()
    {
        StoreFirmType(12);
        ModalAnswerer boxes;
        CMainFrame* frame = StartProgram();
        QVERIFY(frame);
        QVERIFY(Enabled(frame, kIdConnect));
        QVERIFY(!Enabled(frame, kIdDisconnect));

        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(boxes.Seen().empty());
        QCOMPARE(model.connected, 1);
        QVERIFY(!Enabled(frame, kIdConnect));
        QVERIFY(Enabled(frame, kIdDisconnect));
        QCOMPARE(model.gain[kSlotLeftRight], 100);
        QCOMPARE(QString(model.memName[0]), QStringLiteral("ABCD"));
        QCOMPARE(QString(model.memName[1]), QStringLiteral("ABCDEFGHIJ"));
        QCOMPARE(QString(model.memName[2]), QStringLiteral(" "));
        QCOMPARE(model.memUsed[0], 1);
        QCOMPARE(model.memUsed[2], 0);
        // A supported firmware type stays as stored.
        QCOMPARE(ProgramSettings()->value("Settings/3CHANProcessFirmTypeV123"), QVariant(12));

        unit_->ClearReceived();
        frame->Command(kIdDisconnect)->trigger();
        WaitForUnit();
        QCOMPARE(model.connected, 0);
        QVERIFY(Enabled(frame, kIdConnect));
        QVERIFY(!Enabled(frame, kIdDisconnect));
        QTRY_VERIFY(!unit_->ReceivedPayloads().empty());
        QCOMPARE(unit_->ReceivedPayloads().back().at(0), kCodeDisconnect);
    }

    // COM1 names ser2net's COM-port control port in front of the unit.
    void connectThroughANetworkSerialServerReadsTheUnitAsOnItsDevice()
    {
        QVERIFY(StartUnit());
        ser2net_ = std::make_unique<Ser2netRig>(unit_->DevicePath());
        QVERIFY2(ser2net_->Start(), ser2net_->Problem().c_str());
        PointComAt(1, ser2net_->ComPortAddress());
        ModalAnswerer boxes;
        CMainFrame* frame = StartApp();
        QVERIFY(frame);

        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(boxes.Seen().empty());
        QCOMPARE(model.connected, 1);
        QCOMPARE(model.gain[kSlotLeftRight], 100);
        QCOMPARE(QString(model.memName[1]), QStringLiteral("ABCDEFGHIJ"));
        frame->Command(kIdDisconnect)->trigger();
        WaitForUnit();
        QCOMPARE(model.connected, 0);
        QTRY_VERIFY(!unit_->ReceivedPayloads().empty());
        QCOMPARE(unit_->ReceivedPayloads().back().at(0), kCodeDisconnect);
    }

    void connectWithSilentUnitReportsFailureAndStaysDisconnected()
    {
        ModalAnswerer boxes;
        EmulatorFaults silent;
        silent.silent = true;
        CMainFrame* frame = StartProgram(silent);
        QVERIFY(frame);
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].text, QStringLiteral("Connect fail!\nPlease check rs232 port setting.\n") +
                                           QString::fromStdString(UnitLink().Device()) +
                                           QStringLiteral(": no answer to the attention byte: check the cable, the "
                                                          "unit's power and the port."));
        QCOMPARE(boxes.Seen()[0].caption, QStringLiteral("Error"));
        QCOMPARE(boxes.Seen()[0].icon, QMessageBox::Critical);
        QCOMPARE(model.connected, 0);
        QVERIFY(Enabled(frame, kIdConnect));
        QVERIFY(!Enabled(frame, kIdDisconnect));
    }

    void failedCurrentReadKeepsConnectionAndUnsupportedFirmwareResetsModel()
    {
        StoreFirmType(5);
        EmulatorFaults hangUpBeforeCurrentRead;
        hangUpBeforeCurrentRead.hangUpAfterExchanges = 7;  // handshake and six names
        ModalAnswerer boxes;
        CMainFrame* frame = StartProgram(hangUpBeforeCurrentRead);
        QVERIFY(frame);
        DisturbModel();
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(boxes.Seen()[0].text, QStringLiteral("Read current value fail!."));
        QCOMPARE(model.connected, 1);
        QVERIFY(Enabled(frame, kIdDisconnect));
        QVERIFY(!Enabled(frame, kIdConnect));
        QCOMPARE(QString(model.memName[0]), QStringLiteral("ABCD"));
        QCOMPARE(int{model.firmType}, 0);
        QCOMPARE(ProgramSettings()->value("Settings/3CHANProcessFirmTypeV123"), QVariant(0));
        QVERIFY(ModelHoldsDefaults());
        QCOMPARE(frame->StatusText(), QStringLiteral("The stored firmware type 5 is not supported: type 0 is used, and "
                                                     "the setting starts from its defaults."));
    }

    // The window holds the port only while connected, so another program may
    // use it meanwhile, and each Connect says why the port fails today.
    void connectOpensThePortAfreshAndDisconnectLetsItGoWithoutBlamingTheUnit()
    {
        ModalAnswerer boxes;
        PointComAtNothing(1);
        app_ = std::make_unique<CQuenbarApp>();
        app_->InitInstance();
        CMainFrame* frame = app_->MainFrame();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});  // the port that cannot be opened at start-up

        unit_ = StartEmulatorOnCom(1);
        QVERIFY(unit_);
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(model.connected, 1);
        QVERIFY(UnitLink().IsOpen());

        // A unit that does not acknowledge the disconnect is no fault of the unit's.
        unit_->SetFaults({.silent = true});
        frame->Command(kIdDisconnect)->trigger();
        WaitForUnit();
        QCoreApplication::processEvents();
        QCOMPARE(model.connected, 0);
        QVERIFY(!UnitLink().IsOpen());
        QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));

        PointComAtNothing(1);
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(boxes.Seen().size(), std::size_t{2});
        QVERIFY2(boxes.Seen()[1].text.contains(QStringLiteral(": no such device")), qPrintable(boxes.Seen()[1].text));
        QVERIFY(!UnitLink().IsOpen());
    }

    // What the window shows is what the unit holds: edits the unit did not
    // take are shown as not sent, go out when it answers again and are read
    // back; a value the unit holds otherwise is told and shown.
    void editsTheUnitDidNotAnswerAreShownAsNotSentAndSentWhenItAnswersAgain()
    {
        ModalAnswerer boxes;
        CMainFrame* frame = StartProgram();
        QVERIFY(frame);
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QCOMPARE(model.connected, 1);
        UnitWorker().KeepUnanswered(std::chrono::milliseconds(100));

        unit_->SetFaults({.silent = true});
        model.gain[kSlotLeftRight] = 90;
        SendEdit(PID_LR_GAIN);
        model.gain[kSlotSub] = 95;
        SendEdit(PID_SUB_GAIN);
        QTRY_COMPARE(frame->StatusText(), QStringLiteral("Unit not answering: 2 changes not sent"));
        unit_->SetFaults({});
        QTRY_VERIFY_WITH_TIMEOUT(frame->StatusText().contains(QStringLiteral("took the 2 changes")), 10000);
        QCOMPARE(int{unit_->CurrentImage()[1]}, 90);
        QCOMPARE(int{unit_->CurrentImage()[32]}, 95);
        QVERIFY(boxes.Seen().empty());

        frame->statusBar()->clearMessage();
        unit_->SetFaults({.silent = true});
        model.gain[kSlotLeftRight] = kGainStepMax + 5;  // the unit reads back at the top of the range
        SendEdit(PID_LR_GAIN);
        QTRY_COMPARE(frame->StatusText(), QStringLiteral("Unit not answering: 1 change not sent"));
        unit_->SetFaults({});
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Seen().size(), std::size_t{1}, 10000);
        QVERIFY2(boxes.Seen()[0].text.contains(QStringLiteral("gain Left&Right")), qPrintable(boxes.Seen()[0].text));
        QCOMPARE(model.gain[kSlotLeftRight], kGainStepMax);
        // The edits led to a setting the unit does not hold: their history is gone.
        QVERIFY(!frame->Command(kIdUndo)->isEnabled());
        QCOMPARE(frame->StatusText(),
                 QStringLiteral("The unit holds another setting than the window showed: a new history starts from it."));
    }

    void configMenuConnectsFromTheKeyboard()
    {
        ModalAnswerer boxes;
        CMainFrame* frame = StartProgram();
        QVERIFY(frame);
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(frame, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_C);
        QTRY_COMPARE(model.connected, 1);
        QVERIFY(boxes.Seen().empty());
    }

    void viewMenuTogglesTheBarsWithCheckMarks()
    {
        PointComAtNothing(1);
        ModalAnswerer boxes;
        CMainFrame* frame = StartProgram();
        QVERIFY(frame);
        QAction* toolbar = frame->Command(kIdViewToolbar);
        QAction* statusbar = frame->Command(kIdViewStatusBar);
        QVERIFY(toolbar->isChecked());
        toolbar->trigger();
        QVERIFY(!toolbar->isChecked());
        QVERIFY(frame->ToolBar()->isHidden());
        toolbar->trigger();
        QVERIFY(toolbar->isChecked());
        QVERIFY(!frame->ToolBar()->isHidden());
        QCOMPARE(frame->toolBarArea(frame->ToolBar()), Qt::TopToolBarArea);
        statusbar->trigger();
        QVERIFY(frame->statusBar()->isHidden());
        statusbar->trigger();
        QVERIFY(!frame->statusBar()->isHidden());

        frame->Command(kIdViewCommunicationLog)->trigger();
        auto* log = frame->findChild<CommunicationLog*>();
        QVERIFY(log && log->isVisible());
        // Offscreen the keyboard's lock state cannot be read: the panes stay greyed.
        for (QLabel* pane : frame->statusBar()->findChildren<QLabel*>())
            if (pane->text() == QStringLiteral("CAP")) QVERIFY(!pane->isEnabled());
    }

    void controlKeyDIsSwallowedAndOtherKeysPassOn()
    {
        CQuenbarView view;
        QWidget* block = view.Control(1000);
        QKeyEvent ctrlD(QEvent::KeyPress, Qt::Key_D, Qt::ControlModifier, QStringLiteral("\x04"));
        QApplication::sendEvent(block, &ctrlD);
        QVERIFY(ctrlD.isAccepted());  // taken before the button could ignore it
        QKeyEvent ctrlE(QEvent::KeyPress, Qt::Key_E, Qt::ControlModifier, QStringLiteral("\x05"));
        QApplication::sendEvent(block, &ctrlE);
        QVERIFY(!ctrlE.isAccepted());  // went through the normal handling, unused
        QKeyEvent plainD(QEvent::KeyPress, Qt::Key_D, Qt::NoModifier, QStringLiteral("d"));
        QVERIFY(!IsSwallowedViewKey(plainD));
    }

    void blocksOpenTheSheetOnTheirRowsChannel()
    {
        CQuenbarView view;
        view.show();
        QCOMPARE(SheetPageOpenedBy(view.Control(1008)), 1);  // lower Limit: "Sub Chan"
        QCOMPARE(SheetPageOpenedBy(view.Control(1000)), 0);  // upper Gain: "Left&&Right"
        QCOMPARE(CQuenbarView::SlotOfBlock(1086), kSlotLeftRight);
        QCOMPARE(CQuenbarView::SlotOfBlock(1011), kSlotSub);
        QCOMPARE(CQuenbarView::SlotOfBlock(1085), -1);
    }
};

QUENBAR_DESKTOP_TEST(MainWindowTest)
#include "MainWindowTest.moc"
