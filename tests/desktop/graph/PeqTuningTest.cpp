// The response window's tuning row end to end: a measurement imported (or
// refused naming the line), drawn with its prediction as the bands change,
// a fit (with its options, behind the window) and an equaliser file offered
// and applied as one step of the edit history (to the unit live, or to the
// document offline), which one undo takes back.
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <functional>

#include "app/EditHistory.h"
#include "app/MainFrame.h"
#include "app/QuenbarApp.h"
#include "app/QuenbarDoc.h"
#include "app/UnitLink.h"
#include "graph/FitOptionsDialog.h"
#include "graph/ResponseWindow.h"
#include "graph/TuningBar.h"
#include "model/MemoryImage.h"
#include "model/ParameterIds.h"
#include "tests/desktop/FileBytes.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "tests/desktop/app/UnitOnLine.h"
#include "tests/desktop/dialogs/FormControls.h"
#include "tests/support/TuningSamples.h"

namespace {

// A fit takes a fraction of a second; a loaded machine may take longer.
constexpr int kFitWaitMs = 30000;

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

QToolButton* UndoButton(CResponseWindow* window) { return window->findChild<QToolButton*>(QStringLiteral("undo")); }

QPushButton* FitButton(CResponseWindow* window) { return window->findChild<QPushButton*>(QStringLiteral("fitPeq")); }

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
        const std::size_t steps = TheEditHistory().Steps().UndoCount();
        int offered = 0;
        answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
            ++offered;
            dialog.reject();
        };
        Click(window, "fitPeq");
        // The fit runs behind the window: the click is back before its proposal.
        QCOMPARE(offered, 0);
        QVERIFY(!FitButton(window)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(offered, 1, kFitWaitMs);
        QVERIFY(FitButton(window)->isEnabled());
        QCOMPARE(ReadPeqBands(model, kSlotLeftRight), before);
        QCOMPARE(TheEditHistory().Steps().UndoCount(), steps);

        std::optional<PeqProposal> proposal;
        answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
            proposal = dialog.Proposal();
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
        };
        Click(window, "fitPeq");
        QTRY_VERIFY_WITH_TIMEOUT(proposal, kFitWaitMs);
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

        // One step back, named after the fit: the unit's setting as it was.
        QCOMPARE(TheEditHistory().Steps().UndoCount(), steps + 1);
        QCOMPARE(UndoButton(window)->text(), QStringLiteral("Undo Fit PEQ Left && Right"));
        UndoButton(window)->click();
        WaitForUnit();
        const Image held = unit->CurrentImage();
        ParameterModel unitSetting = setting;
        ImageToModel(unitSetting, held.data());
        QVERIFY(SameSetting(unitSetting, setting));
        QVERIFY(SameSetting(model, setting));
    }

    // The options reach the fit and are remembered; a window closed or gone
    // while its fit runs drops the result.
    void fitOptionsReachTheFitAndAWindowClosedMeanwhileDropsIt()
    {
        ModalAnswerer answerer;
        QTemporaryDir dir;
        auto window = std::make_unique<CResponseWindow>();
        window->show();
        QVERIFY(window->Tuning()->ImportMeasurement(kSlotLeftRight,
                                                    WriteFile(dir, QStringLiteral("m.txt"), MeasurementBytes())));
        const auto fit = [&](const std::function<void(CDlgFitOptions&)>& choose) {
            std::optional<PeqProposal> proposal;
            answerer.onFitOptions = [&](CDlgFitOptions& options) {
                choose(options);
                options.accept();
            };
            answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
                proposal = dialog.Proposal();
                dialog.reject();
            };
            Click(window.get(), "fitPeq");
            [&] { QTRY_VERIFY_WITH_TIMEOUT(proposal, kFitWaitMs); }();
            return proposal.value_or(PeqProposal{});
        };
        const auto set = [](CDlgFitOptions& options, const char* name, double value) {
            Child<QDoubleSpinBox>(&options, name)->setValue(value);
        };
        const auto bandsOf = [](const PeqProposal& proposal) {
            std::vector<PeqBand> bands;
            for (const PeqBand& band : proposal.bands)
                if (!band.flat) bands.push_back(band);
            return bands;
        };

        const PeqProposal plain = fit([&](CDlgFitOptions& options) {
            for (const auto& [name, value] :
                 {std::pair{"lowHz", 40.0}, {"highHz", 16000.0}, {"maxBoost", 6.0}, {"maxCut", 12.0}})
                set(options, name, value);
            Child<QPushButton>(&options, "flatTarget")->click();
        });
        const auto plainBands = bandsOf(plain);
        QVERIFY(std::any_of(plainBands.begin(), plainBands.end(), [](auto& b) { return b.gain > kGainStepZero; }));
        QVERIFY(std::any_of(plainBands.begin(), plainBands.end(), [](auto& b) { return b.gain < kGainStepZero - 20; }));

        // Above 1 kHz there is nothing to correct, and nothing is measured below.
        bool fitsAnEmptyRange = true;
        const PeqProposal narrow = fit([&](CDlgFitOptions& options) {
            set(options, "lowHz", 1000.0);
            set(options, "highHz", 1000.0);
            fitsAnEmptyRange = options.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled();
            set(options, "highHz", 16000.0);
        });
        QVERIFY(!fitsAnEmptyRange);
        QVERIFY(!(narrow.bands == plain.bands));
        QVERIFY(!std::isnan(plain.curves[0].levels[kFreqStep1kHz - 20]));
        QVERIFY(std::isnan(narrow.curves[0].levels[kFreqStep1kHz - 20]));

        // Remembered: the range as chosen last. No boost, at most 2 dB cut.
        double shownLow = 0;
        const PeqProposal limited = fit([&](CDlgFitOptions& options) {
            shownLow = Child<QDoubleSpinBox>(&options, "lowHz")->value();
            set(options, "lowHz", 40.0);
            set(options, "maxBoost", 0.0);
            set(options, "maxCut", 2.0);
        });
        QCOMPARE(shownLow, 1000.0);
        for (const PeqBand& band : bandsOf(limited))
            QVERIFY(band.gain <= kGainStepZero && band.gain >= kGainStepZero - 20);

        // A target file: the measurement itself leaves nothing to correct.
        const QString target = WriteFile(dir, QStringLiteral("target.txt"), MeasurementBytes());
        const PeqProposal own = fit([&](CDlgFitOptions& options) {
            set(options, "maxBoost", 6.0);
            set(options, "maxCut", 12.0);
            Child<QLineEdit>(&options, "target")->setText(target);
        });
        QVERIFY2(own.report.join(QString()).contains(QStringLiteral("before 0.00 dB")),
                 qPrintable(own.report.join("")));
        QCOMPARE(StoredFitChoices().targetPath, target);

        // A target that is no measurement: said, and no fit.
        const QString broken = WriteFile(dir, QStringLiteral("broken.txt"), "20 80\n");
        answerer.onFitOptions = [&](CDlgFitOptions& options) {
            Child<QLineEdit>(&options, "target")->setText(broken);
            options.accept();
        };
        Click(window.get(), "fitPeq");
        QTRY_COMPARE(answerer.Seen().size(), std::size_t(1));
        QVERIFY(answerer.Seen().front().text.contains(QStringLiteral("cannot be used as a target")));
        QVERIFY(FitButton(window.get())->isEnabled());

        // Closed, then gone, while the fit runs.
        answerer.onFitOptions = [](CDlgFitOptions& options) {
            Child<QPushButton>(&options, "flatTarget")->click();
            options.accept();
        };
        int offered = 0;
        answerer.onPeqProposal = [&](CDlgPeqProposal& dialog) {
            ++offered;
            dialog.reject();
        };
        Click(window.get(), "fitPeq");
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(FitButton(window.get())->isEnabled(), kFitWaitMs);
        Click(window.get(), "fitPeq");
        QVERIFY(!FitButton(window.get())->isEnabled());
        window.reset();
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(20);
        QCOMPARE(offered, 0);
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
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));
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
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled* - Quenbar"));

        // Ctrl+Z in the window: bands and level back in one step, and the
        // document's mark with them.
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Quenbar"));
        const Image restored = frame.Document()->Document().Current();
        QCOMPARE(BandsIn(restored, kSlotSub), before);
        ImageToModel(saved, restored.data());
        QCOMPARE(saved.gain[kSlotSub], levelBefore);
    }
};

QUENBAR_DESKTOP_TEST(PeqTuningTest)
#include "PeqTuningTest.moc"
