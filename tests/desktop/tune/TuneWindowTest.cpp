// The Tune System window against the emulated unit's room through the
// private sound server: a proposal, a part left out, the rest applied as one
// step that one undo takes back (read from the unit each time), the report;
// a window closed mid-measure ends the work; two microphone positions walked
// through the box between them, before the proposal and before the
// verification, the curves their average with each behind it, the report
// each one's figures; without a unit it refuses.
#include <QLabel>
#include <QPointer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

#include "app/EditHistory.h"
#include "measure/MeasurePlots.h"
#include "tests/desktop/measure/RoomUnit.h"
#include "tests/report/PdfProbe.h"
#include "tune/TuneWindow.h"
#include "tuning/PeqBands.h"

namespace {

// Two sequences of four 1 s sweeps take some 20 s; a loaded machine longer.
constexpr int kTuneWaitMs = 120000;
constexpr int kPeqLrRow = 2;
constexpr int kPeqSubRow = 3;

CTuneWindow* OpenTuneWindow(CMainFrame* frame)
{
    frame->Command(kIdTune)->trigger();
    CTuneWindow* window = frame->TuneWindow();
    window->findChild<QDoubleSpinBox*>(QStringLiteral("length"))->setValue(1.0);
    return window;
}

QString Message(CTuneWindow* window) { return window->findChild<QLabel*>(QStringLiteral("message"))->text(); }

// The system's graph draws `name`, the positions' average, with each
// position behind it: a mean power lies at or above the middle of the two
// in dB (and stays there when smoothed), and is not the first's curve.
void CheckAverageOfTwoPositions(const MeasuredCurvesGraph* graph, const QString& name)
{
    QCOMPARE(graph->PositionCurveCount(), 2);
    const PositionCurves& round = graph->Positions().front();
    QCOMPARE(round.average.name, name);
    double furthestFromFirst = 0.0;
    for (std::size_t step = 0; step < kFreqSteps; ++step) {
        const double mean = round.average.levels[step], a = round.positions[0][step], b = round.positions[1][step];
        if (!std::isfinite(mean)) continue;
        QVERIFY2(mean >= (a + b) / 2 - 0.01, qPrintable(QString::number(step)));
        furthestFromFirst = std::max(furthestFromFirst, std::abs(mean - a));
    }
    QVERIFY2(furthestFromFirst > 0.5, "the curve is the first position's");
    // The curve named in the legend is that average (NaN where neither is measured).
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    QVERIFY(std::any_of(graph->Curves().begin(), graph->Curves().end(), [&](const PlotCurve& curve) {
        return curve.name == name && std::equal(curve.levels.begin(), curve.levels.end(),
                                                round.average.levels.begin(), same);
    }));
}

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

    // Two seats: the box after the first (the mutes back while it waits),
    // the proposal from both, the box again before the verification (a
    // cancel there sends nothing), then verified at both.
    void walksTwoPositionsBeforeTheProposalAndBeforeTheVerification()
    {
        RoomUnit unit;
        QVERIFY(unit.Started());
        CQuenbarApp app;
        CMainFrame* frame = StartConnected(app);
        CTuneWindow* window = OpenTuneWindow(frame);
        window->findChild<QSpinBox*>(QStringLiteral("positions"))->setValue(2);
        const ParameterModel before = UnitSetting();

        QVERIFY(window->StartMeasuring());
        QPointer<QMessageBox> box = AwaitPositionBox(window, kTuneWaitMs);
        QVERIFY2(box, qPrintable(Message(window)));
        QVERIFY2(box->text().contains(QStringLiteral("Move the microphone to position 2 of 2")), qPrintable(box->text()));
        WaitForUnit();
        QVERIFY(SameSetting(UnitSetting(), before));  // the mutes back while the person walks
        QCOMPARE(window->Graph(0)->PositionCurveCount(), 1);
        unit.MoveMicrophone();
        Press(box, QStringLiteral("Measure position 2"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY2(window->Start(), qPrintable(Message(window)));
        QCOMPARE(window->Start()->measurements.size(), std::size_t{2});
        const auto* findings = window->findChild<QLabel*>(QStringLiteral("findings"));
        QVERIFY2(findings->text().contains(QStringLiteral("Position 2:")), qPrintable(findings->text()));
        CheckAverageOfTwoPositions(window->Graph(3), QStringLiteral("Before"));
        if (QTest::currentTestFailed()) return;

        // Without the PEQ no second pass (and its own round) can follow.
        window->SetPart(kPeqLrRow, false);
        window->SetPart(kPeqSubRow, false);
        QVERIFY(window->StartApplying());
        box = AwaitPositionBox(window, kTuneWaitMs);
        QVERIFY2(box, qPrintable(Message(window)));
        QVERIFY2(box->text().contains(QStringLiteral("back to position 1 of 2")), qPrintable(box->text()));
        QCOMPARE(box->buttons().size(), 2);  // nothing to measure again yet
        Press(box, QStringLiteral("Cancel"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY(!window->Outcome());
        QVERIFY(SameSetting(UnitSetting(), before));

        QVERIFY(window->StartApplying());
        box = AwaitPositionBox(window, kTuneWaitMs);
        QVERIFY2(box, qPrintable(Message(window)));
        for (int seat = 0; seat < 3; ++seat) unit.MoveMicrophone(), QTest::qWait(100);  // back at the first
        Press(box, QStringLiteral("Measure position 1"));
        QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
        box = AwaitPositionBox(window, kTuneWaitMs);
        QVERIFY2(box, qPrintable(Message(window)));
        unit.MoveMicrophone();
        Press(box, QStringLiteral("Measure position 2"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Running(), kTuneWaitMs);
        QVERIFY2(window->Outcome(), qPrintable(Message(window)));
        QCOMPARE(window->Outcome()->passes.back().positions.positions.size(), std::size_t{2});
        QVERIFY2(findings->text().contains(QStringLiteral("Position 2: RMS from the target")),
                 qPrintable(findings->text()));
        CheckAverageOfTwoPositions(window->Graph(3), QStringLiteral("After"));
        if (QTest::currentTestFailed()) return;
        QTemporaryDir dir;
        const QString report = dir.filePath(QStringLiteral("tune.pdf"));
        QVERIFY(window->WriteReport(report));
        const std::string text = PdfText(report.toStdString());
        QVERIFY(text.find("Position 2: RMS from the target") != std::string::npos);
        QCOMPARE(TheEditHistory().Steps().UndoCount(), std::size_t{1});
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
