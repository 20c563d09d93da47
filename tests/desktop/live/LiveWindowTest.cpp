// The Live window against the emulated unit's room through the private
// sound server, while programme material (scripts/programme.sh) plays into
// the unit: the curve, its coherence and the room's delay shown several
// times a second, the live curve kept as the stored trace, and an edit made
// through the history named by the alarm that follows it, then Left &
// Right's PEQ proposed on the live curve and applied. Without sound:
// the history's moves in the words the time line shows.
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include <nlohmann/json.hpp>

#include "app/EditHistory.h"
#include "app/MainFrame.h"
#include "live/HistoryMoves.h"
#include "live/LiveGraph.h"
#include "live/LiveProposalBox.h"
#include "live/LiveWindow.h"
#include "model/Model.h"
#include "tests/desktop/measure/RoomUnit.h"

namespace {

// The delay is found and the curve averaged in a few seconds; a loaded machine takes longer.
constexpr int kSettleMs = 30000;

// rx74-emulator --room-truth: when the Left loudspeaker's sound reaches the microphone.
double LeftArrivalMs(const QString& folder)
{
    const QString file = folder + QStringLiteral("/truth.json");
    if (Wait(Spawn(RX74_EMULATOR_PROGRAM, {"--room-truth"}, file.toStdString())) != 0) return NAN;
    QFile truth(file);
    if (!truth.open(QIODevice::ReadOnly)) return NAN;
    return nlohmann::json::parse(truth.readAll().toStdString())["outputs"]["left"]["arrivalMs"].get<double>();
}

// Pink noise with pauses and level changes, played into the unit for as long as it lives.
class Programme {
public:
    explicit Programme(const QString& folder)
    {
        const std::string dir = folder.toStdString();
        if (Wait(Spawn("/bin/bash", {QUENBAR_PROGRAMME_SCRIPT, dir})) != 0) return;
        if (Wait(Spawn("/usr/bin/sox", {dir + "/pink.wav", dir + "/pink-long.wav", "repeat", "3"})) != 0) return;
        pid_ = Spawn("/usr/bin/paplay", {"-d", "quenbar_out", dir + "/pink-long.wav"});
    }
    ~Programme()
    {
        if (pid_ > 0) TerminateAndWait(pid_);
    }
    bool Playing() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

int Finite(const ResponseCurve& levels)
{
    int count = 0;
    for (double level : levels) count += std::isfinite(level) ? 1 : 0;
    return count;
}

}  // namespace

class LiveWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    void showsTheRoomLiveAndNamesTheEditBeforeAnAlarm()
    {
        QTemporaryDir dir;
        const double arrivalMs = LeftArrivalMs(dir.path());
        QVERIFY(std::isfinite(arrivalMs));
        RoomUnit unit;
        QVERIFY(unit.Started());
        CQuenbarApp app;
        CMainFrame* frame = StartConnected(app);
        QVERIFY(model.connected);
        const Programme programme(dir.path());
        QVERIFY(programme.Playing());

        frame->Command(kIdLive)->trigger();
        CLiveWindow* window = frame->LiveWindow();
        QVERIFY(window && window->isVisible());
        window->resize(1200, 700);
        QVERIFY(!window->KeepAsStored());  // nothing seen yet
        window->findChild<QPushButton*>(QStringLiteral("start"))->click();
        QVERIFY(window->Watching());
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("start"))->isEnabled());

        // The room's delay, and a curve mostly coherent on pink noise.
        const auto settled = [window, arrivalMs] {
            const auto& look = window->LastLook();
            return look && look->delaySeconds && std::abs(*look->delaySeconds * 1000.0 - arrivalMs) <= 0.1 &&
                   look->coherentShare > 0.6;
        };
        QVERIFY(QTest::qWaitFor(settled, kSettleMs));
        const QString delay = window->findChild<QLabel*>(QStringLiteral("delay"))->text();
        QVERIFY2(std::abs(delay.section(QLatin1Char(' '), 0, 0).toDouble() - arrivalMs) <= 0.11, qPrintable(delay));
        QVERIFY(Finite(window->Graph()->Live().trusted) > 200);  // of the graph's 395 steps

        // More than five looks a second reach the window.
        const int looksBefore = window->LooksShown();
        QElapsedTimer watched;
        watched.start();
        QTest::qWait(2000);
        const double perSecond = (window->LooksShown() - looksBefore) * 1000.0 / static_cast<double>(watched.elapsed());
        QVERIFY2(perSecond >= 5.0, qPrintable(QString::number(perSecond)));

        QVERIFY(window->KeepAsStored());
        QVERIFY(window->Graph()->ShowsStored());
        auto* alarms = window->findChild<QListWidget*>(QStringLiteral("alarms"));
        QTest::qWait(2000);
        QCOMPARE(alarms->count(), 0);

        // Left & Right's PEQ band 1 at 1 kHz raised 6 dB, as one step of the history.
        ParameterModel raised = model;
        const int band = PeqIndex(kSlotLeftRight, 0);
        raised.peqFreq[band] = kFreqStep1kHz;
        raised.peqGain[band] = 188;
        raised.peqFlat[band] = 0;
        TheEditHistory().Apply(raised, {});
        QVERIFY(TheEditHistory().Steps().ToUndo());
        const QString label = QString::fromStdString(TheEditHistory().Steps().ToUndo()->label);
        auto* edits = window->findChild<QListWidget*>(QStringLiteral("edits"));
        QTRY_COMPARE_WITH_TIMEOUT(edits->count(), 1, 2000);
        QVERIFY2(edits->item(0)->text().endsWith(label), qPrintable(edits->item(0)->text()));
        QTRY_VERIFY_WITH_TIMEOUT(alarms->count() > 0, 8000);
        const QString alarm = alarms->item(0)->text();
        QVERIFY2(alarm.startsWith(QStringLiteral("after ") + label), qPrintable(alarm + QStringLiteral(" / ") + label));

        // Left & Right's PEQ proposed against the kept trace, drawn, and applied as one step, which clears the alarm.
        const LiveProposalBox* proposal = window->ProposalBox();
        window->findChild<QPushButton*>(QStringLiteral("propose"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(proposal->Proposal().has_value(), 10000);
        QVERIFY(proposal->Proposal()->towardStored);
        QVERIFY(proposal->Proposal()->fit.rmsAfterDb < proposal->Proposal()->rmsNowDb);
        QVERIFY(window->Graph()->ShowsPredicted());
#ifdef LIVE_SCREENSHOT
        window->grab().save(QStringLiteral(LIVE_SCREENSHOT));
#endif
        window->findChild<QPushButton*>(QStringLiteral("apply"))->click();
        QCOMPARE(TheEditHistory().Steps().ToUndo()->label, std::string("Live PEQ Left & Right"));
        QVERIFY(!window->Graph()->ShowsPredicted());
        QTRY_COMPARE_WITH_TIMEOUT(edits->count(), 2, 2000);
        QVERIFY(edits->item(1)->text().endsWith(QStringLiteral("Live PEQ Left & Right")));
        QTRY_COMPARE_WITH_TIMEOUT(alarms->count(), 0, 8000);

        window->findChild<QPushButton*>(QStringLiteral("stop"))->click();
        QVERIFY(!window->Watching());
        const int looksAtStop = window->LooksShown();
        QTest::qWait(500);
        QCOMPARE(window->LooksShown(), looksAtStop);
    }

    // A live trace saved before (as watch --against reads it) is opened as
    // the stored trace; a file that is none is refused in words, the stored
    // trace kept.
    void opensAStoredTraceFromAFile()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("saved.txt")), other = dir.filePath(QStringLiteral("other.txt"));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("* Quenbar live trace after 12.0 s, delay 8.750 ms, its coherent points\n* Hz dB phase(degrees)\n");
        for (double hz = 50.0; hz < 16000.0; hz *= 1.25) file.write(QStringLiteral("%1 -3.5 12.0\n").arg(hz).toUtf8());
        file.close();
        QFile none(other);
        QVERIFY(none.open(QIODevice::WriteOnly));
        none.write("not a trace\n");
        none.close();

        CLiveWindow window;
        QVERIFY(!window.Graph()->ShowsStored());
        QVERIFY(window.OpenStored(saved));
        QVERIFY(window.Graph()->ShowsStored());
        QVERIFY(!window.OpenStored(other));
        QVERIFY(window.Graph()->ShowsStored());
        const QString said = window.findChild<QLabel*>(QStringLiteral("message"))->text();
        QVERIFY2(said.startsWith(QStringLiteral("other.txt cannot be the stored trace: ")), qPrintable(said));
    }

    void historyMovesAreNamedAsTheTimeLineShowsThem()
    {
        SettingHistory steps;
        HistoryMoves moves(steps);
        QVERIFY(!moves.Next(steps));
        ParameterModel a = model, b = model, c = model;
        b.peqGain[0] = 150;
        c.peqGain[0] = 170;
        steps.Record(a, b, "one");
        QCOMPARE(moves.Next(steps), std::optional<std::string>("one"));
        QVERIFY(!moves.Next(steps));  // told again without a move
        steps.Record(b, c, "two");
        QCOMPARE(moves.Next(steps), std::optional<std::string>("two"));
        steps.Undo();
        QCOMPARE(moves.Next(steps), std::optional<std::string>("Undo two"));
        steps.Redo();
        QCOMPARE(moves.Next(steps), std::optional<std::string>("Redo two"));
        // A new step after an undo drops the redo: it is named as itself.
        steps.Undo();
        moves.Next(steps);
        steps.Record(b, a, "three");
        QCOMPARE(moves.Next(steps), std::optional<std::string>("three"));
        // A drag goes on: its one step grows and is marked again under its new label.
        steps.Record(a, b, {}, 7);
        const std::optional<std::string> dragged = moves.Next(steps);
        steps.Record(b, c, {}, 7);
        QCOMPARE(steps.UndoCount(), std::size_t{3});
        QVERIFY(moves.Next(steps) == steps.ToUndo()->label && steps.ToUndo()->label != dragged);
        steps.Clear();
        QVERIFY(!moves.Next(steps));
    }
};

QUENBAR_DESKTOP_TEST(LiveWindowTest)
#include "LiveWindowTest.moc"
