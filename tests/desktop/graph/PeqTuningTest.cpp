// The response window's tuning row end to end: a measurement imported (or
// refused naming the line), drawn with its prediction as the bands change,
// a fit and an equaliser file offered and applied as ordinary edits (to
// the unit live, or to the document offline), and the bands before brought
// back.
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/MainFrame.h"
#include "app/QuenbarApp.h"
#include "app/QuenbarDoc.h"
#include "app/UnitLink.h"
#include "graph/ResponseWindow.h"
#include "graph/TuningBar.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "tests/desktop/FileBytes.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/support/TuningSamples.h"

namespace {

QByteArray MeasurementBytes() { return QByteArray::fromStdString(MeasurementText()); }

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    return WriteBytes(path, text) ? path : QString();
}

void Click(CResponseWindow* window, const char* name)
{
    window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
}

void ChooseChannel(CResponseWindow* window, int slot)
{
    auto* channel = window->findChild<QComboBox*>(QStringLiteral("channel"));
    channel->setCurrentIndex(channel->findData(slot));
}

PeqBands BandsIn(const Image& image, int slot)
{
    ParameterModel setting{};
    LoadDefaults(setting);
    ImageToModel(setting, image.data());
    return ReadPeqBands(setting, slot);
}

}  // namespace

class PeqTuningTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    void measurementIsRefusedByLineOrDrawnWithItsPrediction()
    {
        ModalAnswerer answerer;
        QTemporaryDir dir;
        CResponseWindow window;
        window.show();
        CTuningBar* tuning = window.Tuning();
        ChooseChannel(&window, kSlotSub);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("fitPeq"))->isEnabled());

        const QString broken = WriteFile(dir, QStringLiteral("broken.txt"), "* sweep\n20 80\n30 81\n30 82\n");
        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, broken); };
        Click(&window, "importMeasurement");
        QTRY_COMPARE(answerer.Seen().size(), std::size_t(1));
        const QString refusal = answerer.Seen().front().text;
        QVERIFY2(refusal.contains(QStringLiteral("line 4")) && refusal.contains(QStringLiteral("repeats")),
                 qPrintable(refusal));
        QVERIFY(tuning->MeasurementOf(kSlotSub) == nullptr);

        const QString good = WriteFile(dir, QStringLiteral("sub.txt"), MeasurementBytes());
        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, good); };
        Click(&window, "importMeasurement");
        QTRY_VERIFY(tuning->MeasurementOf(kSlotSub) != nullptr);
        QVERIFY(tuning->MeasurementOf(kSlotLeftRight) == nullptr);
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("fitPeq"))->isEnabled());

        // The prediction follows an edit of the channel's band.
        const int peak = 200;
        const int i = PeqIndex(kSlotSub, 2);
        model.peqFreq[i] = peak;
        model.peqGain[i] = kGainStepZero + 60;
        model.peqFlat[i] = 0;
        model.curChannel = kSlotSub;
        model.curBand = 2;
        SendEdit(PID_PEQ_GAIN);
        const auto curves = tuning->OverlayCurves();
        QCOMPARE(curves.size(), std::size_t(2));
        const ResponseCurve& measured = curves[0].levels;
        QVERIFY(std::isnan(measured[10]));  // below the measured span
        QCOMPARE(curves[1].levels[peak] - measured[peak], 6.0);

        Click(&window, "clearMeasurement");
        QVERIFY(tuning->MeasurementOf(kSlotSub) == nullptr);
        QVERIFY(tuning->OverlayCurves().empty());
    }

    void fitAppliedReachesTheUnitAsTheProposalsSteps()
    {
        const auto unit = StartEmulatorOnCom(1);
        QVERIFY(unit);
        ModalAnswerer answerer;
        QTemporaryDir dir;
        CQuenbarApp app;
        app.InitInstance();
        CMainFrame* frame = app.MainFrame();
        frame->Command(kIdConnect)->trigger();
        WaitForUnit();
        QVERIFY(model.connected);
        frame->Command(kIdViewResponse)->trigger();
        CResponseWindow* window = frame->ResponseWindow();
        window->resize(900, 480);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        const QString path = WriteFile(dir, QStringLiteral("left-right.frd"), MeasurementBytes());
        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, path); };
        Click(window, "importMeasurement");
        QTRY_VERIFY(window->Tuning()->MeasurementOf(kSlotLeftRight) != nullptr);

        // Cancelled, the proposal changes nothing.
        const PeqBands before = ReadPeqBands(model, kSlotLeftRight);
        const ParameterModel setting = model;
        const std::size_t heard = unit->ReceivedPayloads().size();
        Click(window, "fitPeq");
        QCOMPARE(ReadPeqBands(model, kSlotLeftRight), before);
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("previousBands"))->isEnabled());

        std::optional<PeqProposal> proposal;
        answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
            proposal = dialog.Proposal();
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
        };
        Click(window, "fitPeq");
        QVERIFY(proposal);
        QVERIFY2(proposal->report.join(QString()).contains(QStringLiteral("before")), "the fit's RMS is reported");
        WaitForUnit();
        QCOMPARE(BandsIn(unit->CurrentImage(), kSlotLeftRight), proposal->bands);
        const auto received = unit->ReceivedPayloads();
        const std::vector<Payload> sent(received.begin() + static_cast<std::ptrdiff_t>(heard), received.end());
        const auto expected = BandMessages(setting, kSlotLeftRight, before, proposal->bands);
        QVERIFY(!expected.empty());
        QVERIFY(sent == expected);

        QTest::qWait(50);  // the repaint after the edit
        QVERIFY(window->grab().save(QStringLiteral(RESPONSE_SCREENSHOT)));

        // One step back: the unit's bands as they were.
        Click(window, "previousBands");
        WaitForUnit();
        QCOMPARE(BandsIn(unit->CurrentImage(), kSlotLeftRight), before);
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("previousBands"))->isEnabled());
    }

    void filterImportOfflineChangesTheDocument()
    {
        ModalAnswerer answerer;
        QTemporaryDir dir;
        CMainFrame frame;
        frame.show();
        frame.Command(kIdViewResponse)->trigger();
        CResponseWindow* window = frame.ResponseWindow();
        ChooseChannel(window, kSlotSub);
        const QString path = WriteFile(dir, QStringLiteral("eq.txt"),
                                       "Preamp: -3.0 dB\n"
                                       "Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41\n"
                                       "Filter 2: ON NO Fc 50 Hz\n");
        answerer.onFileDialog = [&](QFileDialog& files) { ChooseFile(files, path); };
        std::optional<PeqProposal> proposal;
        answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
            proposal = dialog.Proposal();
            dialog.accept();
        };
        const PeqBands before = ReadPeqBands(model, kSlotSub);
        const int levelBefore = model.gain[kSlotSub];
        Click(window, "importFilters");
        QTRY_VERIFY(proposal);
        QCOMPARE(proposal->slot, kSlotSub);
        QCOMPARE(proposal->levelStep, std::optional<int>(levelBefore - 6));
        QVERIFY(proposal->report.filter(QStringLiteral("dropped")).size() == 1);

        const Image document = frame.Document()->Document().Current();
        QCOMPARE(BandsIn(document, kSlotSub), proposal->bands);
        ParameterModel saved{};
        ImageToModel(saved, document.data());
        QCOMPARE(saved.gain[kSlotSub], levelBefore - 6);

        Click(window, "previousBands");
        const Image restored = frame.Document()->Document().Current();
        QCOMPARE(BandsIn(restored, kSlotSub), before);
        ImageToModel(saved, restored.data());
        QCOMPARE(saved.gain[kSlotSub], levelBefore);
    }
};

QUENBAR_DESKTOP_TEST(PeqTuningTest)
#include "PeqTuningTest.moc"
