// The Tune System window against the emulated unit's room through the
// private sound server: a proposal, a part left out, the rest applied as one
// step that one undo takes back (read from the unit each time), the report;
// a window closed mid-measure ends the work; without a unit it refuses.
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include "app/EditHistory.h"
#include "measure/MeasurePlots.h"
#include "tests/desktop/measure/RoomUnit.h"
#include "tests/report/PdfProbe.h"
#include "tune/TuneWindow.h"
#include "tuning/PeqBands.h"

namespace {

// Two sequences of four 1 s sweeps take some 20 s; a loaded machine longer.
constexpr int kTuneWaitMs = 120000;
constexpr int kPeqSubRow = 3;

CTuneWindow* OpenTuneWindow(CMainFrame* frame)
{
    frame->Command(kIdTune)->trigger();
    CTuneWindow* window = frame->TuneWindow();
    window->findChild<QDoubleSpinBox*>(QStringLiteral("length"))->setValue(1.0);
    return window;
}

QString Message(CTuneWindow* window) { return window->findChild<QLabel*>(QStringLiteral("message"))->text(); }

}  // namespace

class TuneWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    void appliesTheTickedPartsAsOneStepThatOneUndoTakesBack()
    {
        RoomUnit unit;
        QVERIFY(unit.Started());
        CQuenbarApp app;
        CMainFrame* frame = StartConnected(app);
        QVERIFY(model.connected);
        CTuneWindow* window = OpenTuneWindow(frame);
        window->resize(1366, 740);
        const ParameterModel before = UnitSetting();

        QVERIFY(window->StartMeasuring());
        QVERIFY(!window->StartMeasuring());  // one at a time
        QVERIFY(!frame->Command(kIdConnect)->isEnabled() && !frame->Command(kIdDisconnect)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY2(window->Start(), qPrintable(Message(window)));
        const TuneProposal& proposal = window->Start()->proposal;
        QVERIFY(SameSetting(UnitSetting(), before));  // proposing changes nothing
        QCOMPARE(window->Graph(0)->Curves().size(), std::size_t{2});  // before and predicted
        QVERIFY2(proposal.peqSub.fit && ReadPeqBands(proposal.setting, kSlotSub) != ReadPeqBands(before, kSlotSub),
                 "the room's Sub needs its PEQ");

        window->SetPart(kPeqSubRow, false);
        QVERIFY(!window->Parts().peqSub && window->Parts().alignment && window->Parts().levels);
        QVERIFY(window->StartApplying());
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY2(window->Outcome(), qPrintable(Message(window)));
        const AppliedPass& last = window->Outcome()->passes.back();
        QCOMPARE(window->Graph(3)->Curves().size(), std::size_t{3});  // and after

        // The unit holds the ticked parts and the Sub's bands as they were.
        const ParameterModel applied = UnitSetting();
        QVERIFY(SameSetting(applied, last.applied));
        QVERIFY(ReadPeqBands(applied, kSlotSub) == ReadPeqBands(before, kSlotSub));
        QCOMPARE(applied.gain[kSlotSub], proposal.levels.subGain);
        QCOMPARE(applied.delay[kSlotSub], proposal.alignment.subDelay);
        QCOMPARE(applied.delay[kSlotLeftRight], proposal.alignment.lrDelay);
        QTRY_VERIFY(SameSetting(model, applied));  // the pages follow

        QCOMPARE(TheEditHistory().Steps().UndoCount(), std::size_t{1});
        QVERIFY(TheEditHistory().Undo());
        WaitForUnit();
        QVERIFY(SameSetting(UnitSetting(), before));
        QVERIFY(SameSetting(model, before));
        QVERIFY(TheEditHistory().Redo());  // the screenshots show the tuned setting
        WaitForUnit();

        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("tune.pdf"));
        QVERIFY(window->WriteReport(report));
        const PdfFacts facts = ReadPdfFacts(report.toStdString());
        QCOMPARE(facts.pages, 2);
        QVERIFY(!window->WriteReport(QStringLiteral("/nonexistent-folder/tune.pdf")));
#ifdef TUNE_SCREENSHOT
        window->WriteReport(QStringLiteral(TUNE_REPORT));
        QVERIFY(window->WriteReport(report));  // the message as the person sees it after a report
        window->grab().save(QStringLiteral(TUNE_SCREENSHOT));
#endif
    }

    void windowClosedMidMeasureEndsTheWork()
    {
        RoomUnit unit;
        QVERIFY(unit.Started());
        CQuenbarApp app;
        CMainFrame* frame = StartConnected(app);
        CTuneWindow* window = OpenTuneWindow(frame);
        QVERIFY(window->StartMeasuring());
        auto* step = window->findChild<QLabel*>(QStringLiteral("step"));
        QTRY_COMPARE_WITH_TIMEOUT(step->text(), QStringLiteral("right: sweep"), kTuneWaitMs);
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY2(Message(window).contains(QStringLiteral("cancelled"), Qt::CaseInsensitive),
                 qPrintable(Message(window)));
        QVERIFY(!window->Start());
        WaitForUnit();
        const ParameterModel onUnit = UnitSetting();
        QCOMPARE(onUnit.mute[kSlotLeftRight], 0);
        QCOMPARE(onUnit.mute[kSlotSub], 0);
        QVERIFY(frame->Command(kIdDisconnect)->isEnabled());
    }

    void refusesWithoutAUnitOrAProposal()
    {
        CQuenbarApp app;
        app.InitInstance();
        CTuneWindow* window = OpenTuneWindow(app.MainFrame());
        QVERIFY(!window->StartApplying());
        QVERIFY2(Message(window).contains(QStringLiteral("Measure first")), qPrintable(Message(window)));
        QVERIFY(!window->StartMeasuring());
        QVERIFY(!window->Running());
        QVERIFY2(Message(window).contains(QStringLiteral("Connect to the unit first")), qPrintable(Message(window)));
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("apply"))->isEnabled());
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("report"))->isEnabled());
    }
};

QUENBAR_DESKTOP_TEST(TuneWindowTest)
#include "TuneWindowTest.moc"
