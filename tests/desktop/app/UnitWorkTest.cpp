// The windows keep answering while the unit works: a connect to a silent
// unit holds up neither the event loop nor the menus, the long operations of
// the main window and the About box end at Cancel, a drag sends the latest
// value of each field, and a unit that falls silent shows in the status bar.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <algorithm>
#include <chrono>

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/PortSetting.h"
#include "app/QuenbarView.h"
#include "dialogs/DlgOutput.h"
#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "memory/DlgMemory.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A silent unit holds every step for its one-second time-out; an operation
// that ends well within it was ended by the Cancel.
constexpr double kWellWithinATimeOutMs = 500;

void TypeWithControl(CAboutDlg& box, const char* letters)
{
    for (const char* c = letters; *c; ++c)
        QTest::keyClick(box.KeyTarget(), static_cast<Qt::Key>(*c), Qt::ControlModifier);
}

std::vector<std::vector<std::uint8_t>> PayloadsWithCode(const Rx74Emulator& unit, std::uint8_t code)
{
    std::vector<std::vector<std::uint8_t>> found;
    for (const auto& payload : unit.ReceivedPayloads())
        if (payload.at(0) == code) found.push_back(payload);
    return found;
}

}  // namespace

class UnitWorkTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Rx74Emulator> unit_;
    std::unique_ptr<CMainFrame> frame_;

    // The main window over the port opened on an emulated unit.
    CMainFrame* OpenWindow(EmulatorFaults faults = {})
    {
        unit_ = StartEmulatorOnCom(1, faults);
        SetCurrentPortNumber(1);
        if (!unit_ || !OpenCurrentPort()) return nullptr;
        frame_ = std::make_unique<CMainFrame>();
        frame_->show();
        return frame_.get();
    }

    CMainFrame* OpenConnected(EmulatorFaults faults = {})
    {
        CMainFrame* frame = OpenWindow(faults);
        if (!frame) return nullptr;
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        return model.connected ? frame : nullptr;
    }

private slots:
    void init()
    {
        ClearProgramSettings();
        model = ParameterModel{};
    }

    void cleanup()
    {
        WaitForUnit();
        frame_.reset();
        CloseUnitPort();
        unit_.reset();
    }

    void silentConnectHoldsUpNeitherTheEventLoopNorTheMenusAndCancelEndsIt()
    {
        ModalAnswerer boxes;
        CMainFrame* frame = OpenWindow({.silent = true});
        QVERIFY(frame);
        frame->Command(kIdConnect)->trigger();
        QTRY_VERIFY(ShownProgress());
        LatenessProbe probe;
        QCOMPARE(ShownProgress()->labelText(), QStringLiteral("Connecting to the unit..."));
        for (int id : {kIdConnect, kIdDisconnect, kIdRs232, kIdMemory}) QVERIFY(!frame->Command(id)->isEnabled());
        QVERIFY(!frame->View()->Control(1000)->isEnabled());  // no sheet opens on a setting about to change

        // The Help menu opens while the unit is still waited for.
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(bar->actions().last()).center());
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QVERIFY(UnitTasks().Busy());
        QApplication::activePopupWidget()->close();

        WaitForUnit();  // the handshake runs out its time-out
        QVERIFY2(probe.MaxLateMs() < kHeldUpMs, qPrintable(QStringLiteral("stalled %1 ms").arg(probe.MaxLateMs())));
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QVERIFY(boxes.Seen()[0].text.startsWith(QStringLiteral("Connect fail!\nPlease check rs232 port setting.")));
        QCOMPARE(frame->StatusText(), QStringLiteral("Unit not answering"));
        QVERIFY(frame->Command(kIdConnect)->isEnabled());

        // A unit that answers the handshake, then nothing: Cancel ends the
        // connect at once, without a box and without a half connection.
        unit_->SetFaults({.silentAfterExchanges = unit_->Exchanges() + 1});
        frame->Command(kIdConnect)->trigger();
        QTRY_VERIFY(ShownProgress());
        QVERIFY(CancelAndWait(ShownProgress()) < kWellWithinATimeOutMs);
        QCOMPARE(boxes.Seen().size(), std::size_t{1});
        QCOMPARE(model.connected, 0);
        QCOMPARE(unit_->ReceivedPayloads().back().at(0), kCodeDisconnect);
        QVERIFY(frame->Command(kIdConnect)->isEnabled());
    }

    // The About box's functions, and a recall from the memory dialog, which
    // the view owns: its progress window must not be disabled with the blocks.
    void resetLogoAndRecallEndAtCancelWithoutABox()
    {
        ModalAnswerer boxes;
        CMainFrame* frame = OpenConnected();
        QVERIFY(frame);
        unit_->SetFaults({.silent = true});
        for (const char* sequence : {"RTRST", "LOGO"}) {
            CAboutDlg box;
            box.show();
            // Typed into the active box, as when it runs modally: the frame's
            // own Ctrl shortcuts (Open, Save) do not take the keys.
            box.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&box));
            TypeWithControl(box, sequence);
            box.OkButton()->click();
            QTRY_VERIFY(ShownProgress());
            QVERIFY(box.isVisible());  // it closes once the function has ended
            QVERIFY(CancelAndWait(ShownProgress()) < kWellWithinATimeOutMs);
            QCOMPARE(box.result(), int{QDialog::Accepted});
        }
        double recallCancelledMs = -1;
        boxes.boxAnswer = QMessageBox::Yes;  // the recall asks first
        QTimer::singleShot(0, [&recallCancelledMs] {
            auto* memory = qobject_cast<CDlgMemory*>(QApplication::activeModalWidget());
            QVERIFY(memory);
            memory->findChild<QPushButton*>(QStringLiteral("recall"))->click();
            QTRY_VERIFY(ShownProgress());
            recallCancelledMs = CancelAndWait(ShownProgress());
            memory->findChild<QPushButton*>(QStringLiteral("exit"))->click();
        });
        frame->Command(kIdMemory)->trigger();  // the dialog runs until the exit above
        QVERIFY(recallCancelledMs >= 0 && recallCancelledMs < kWellWithinATimeOutMs);
        QCOMPARE(boxes.BoxTexts().size(), 1);  // the recall's question, and no box at the Cancel
        QVERIFY(boxes.BoxTexts().front().startsWith(QStringLiteral("Recall memory ")));
    }

    // Paced slowly, the line takes each message longer than the drag takes
    // many steps, so waiting messages are replaced.
    void dragSendsTheLatestValueOfEachFieldInOrderAndTheFinalOneArrives()
    {
        QVERIFY(OpenConnected({.paceBaud = 9600}));
        CDlgOutput page(kSlotLeftRight, QStringLiteral("Left&&Right"));
        auto* level = page.findChild<QSlider*>(QStringLiteral("level"));
        auto* mute = page.findChild<QCheckBox*>(QStringLiteral("mute"));
        QVERIFY(level && mute);
        page.show();
        UnitWorker().WaitIdle();
        unit_->ClearReceived();

        constexpr int kSteps = 60;
        const int first = level->value();
        level->setSliderDown(true);
        for (int step = 1; step <= kSteps; ++step) {
            level->setSliderPosition(first + step);
            if (step == kSteps / 2) QTest::mouseClick(mute, Qt::LeftButton);
        }
        level->setSliderDown(false);
        UnitWorker().WaitIdle();

        const auto gains = PayloadsWithCode(*unit_, PID_LR_GAIN);
        const auto mutes = PayloadsWithCode(*unit_, PID_LR_MUTE);
        QCOMPARE(mutes.size(), std::size_t{1});
        QVERIFY2(gains.size() < kSteps / 2, qPrintable(QStringLiteral("%1 gain messages").arg(gains.size())));
        // What was sent keeps the order it was made in: the gains fall as the
        // drag goes on, and the mute message, which carries the gain of its
        // moment, comes after the higher gains and before the lower ones.
        const int gainAtMute = mutes.front().at(1);
        bool muteSent = false;
        int previousGain = 256;
        for (const auto& payload : unit_->ReceivedPayloads()) {
            muteSent = muteSent || payload.at(0) == PID_LR_MUTE;
            if (payload.at(0) != PID_LR_GAIN) continue;
            QVERIFY(payload.at(1) < previousGain);
            QVERIFY(muteSent ? payload.at(1) < gainAtMute : payload.at(1) >= gainAtMute);
            previousGain = payload.at(1);
        }
        // The final value reaches the unit, and is what it holds.
        QCOMPARE(int{gains.back().at(1)}, model.gain[kSlotLeftRight]);
        QCOMPARE(int{unit_->CurrentImage()[1]}, model.gain[kSlotLeftRight]);
    }

    void unitThatFallsSilentShowsInTheStatusBarAndEditsNeverWait()
    {
        CMainFrame* frame = OpenConnected();
        QVERIFY(frame);
        QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
        CDlgOutput page(kSlotLeftRight, QStringLiteral("Left&&Right"));
        auto* mute = page.findChild<QCheckBox*>(QStringLiteral("mute"));
        page.show();

        unit_->SetFaults({.silent = true});
        const auto start = Clock::now();
        for (int edit = 0; edit < 5; ++edit) QTest::mouseClick(mute, Qt::LeftButton);
        QVERIFY(MsSince(start) < kWellWithinATimeOutMs);  // five edits, each of which would wait a second
        // The five edits of one field are one change the unit has not taken.
        QTRY_COMPARE(frame->StatusText(), QStringLiteral("Unit not answering: 1 change not sent"));

        unit_->SetFaults({});
        QTest::mouseClick(mute, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(frame->StatusText(),
                                  QStringLiteral("The unit answered again and took the change not sent before."), 8000);
        UnitWorker().WaitIdle();
        // The last value sent, before the setting is read back to confirm it.
        const auto payloads = unit_->ReceivedPayloads();
        const auto lastMute = std::find_if(payloads.rbegin(), payloads.rend(),
                                           [](const auto& payload) { return payload.at(0) == PID_LR_MUTE; });
        QVERIFY(lastMute != payloads.rend());
        QCOMPARE(*lastMute, ParameterPayload(model, PID_LR_MUTE));
    }
};

QUENBAR_DESKTOP_TEST(UnitWorkTest)
#include "UnitWorkTest.moc"
