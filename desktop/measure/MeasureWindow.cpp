#include "measure/MeasureWindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "FitMeasurement.h"
#include "MeasurementFiles.h"
#include "graph/ChannelMeasurement.h"
#include "graph/TuningBar.h"
#include "measure/MeasurePlots.h"
#include "measure/PositionBox.h"
#include "measure/WorkerMutes.h"

namespace {

enum Column { kOutput, kVerdict, kArrival, kPeak, kSnr, kColumns };

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QString Number(double value, int decimals, const char* unit)
{
    // Rounded first, so that what rounds to zero shows as "0.00", not "-0.00".
    const double scale = std::pow(10.0, decimals);
    const double shown = std::round(value * scale) / scale + 0.0;
    return QStringLiteral("%1 %2").arg(shown, 0, 'f', decimals).arg(QString::fromLatin1(unit));
}

void FillRow(QTableWidget* table, int row, MeasuredOutput output, const QString& verdict, double arrivalMs,
             double peakDbfs, const std::optional<double>& snrDb)
{
    table->setItem(row, kOutput, Cell(QString::fromLatin1(OutputName(output))));
    table->setItem(row, kVerdict, Cell(verdict));
    table->setItem(row, kArrival, Cell(Number(arrivalMs, 2, "ms")));
    table->setItem(row, kPeak, Cell(Number(peakDbfs, 1, "dBFS")));
    table->setItem(row, kSnr, Cell(snrDb ? Number(*snrDb, 1, "dB") : QStringLiteral("-")));
}

}  // namespace

CMeasureWindow::CMeasureWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Measure - Quenbar"));
    curves_ = new MeasuredCurvesGraph(this);
    curves_->setObjectName(QStringLiteral("curves"));
    curves_->setToolTip(QStringLiteral("Of several positions: each output's average, each position thin beside it, "
                                       "and filled up from the floor the spread between the positions "
                                       "(3 dB a grid line)"));
    impulses_ = new ImpulsePlot(this);
    impulses_->setObjectName(QStringLiteral("impulses"));
    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName(QStringLiteral("results"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Output"), QStringLiteral("Verdict"), QStringLiteral("Arrival"),
                                       QStringLiteral("Peak"), QStringLiteral("SNR")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(kVerdict, QHeaderView::Stretch);

    auto* results = new QHBoxLayout;
    results->addWidget(impulses_, 1);
    results->addWidget(table_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(curves_, 3);
    right->addLayout(results, 1);
    sweep_ = new SweepBox(this, true);
    LayOutBesideControls(this, sweep_, MakeRunBox(), right);
    UpdateButtons();
}

QWidget* CMeasureWindow::MakeRunBox()
{
    auto* box = new QGroupBox(QStringLiteral("Measurement"), this);
    auto* form = new QFormLayout(box);
    positions_ = MakePositionsBox(box);
    form->addRow(QStringLiteral("P&ositions:"), positions_);
    status_.AddRows(box, form);

    measure_ = MakeButton(box, QStringLiteral("&Measure"), "measure");
    cancel_ = MakeButton(box, QStringLiteral("Cancel"), "cancel");
    save_ = MakeButton(box, QStringLiteral("&Save..."), "save");
    use_ = MakeButton(box, QStringLiteral("&Use for the fit"), "useForFit");
    connect(measure_, &QPushButton::clicked, this, &CMeasureWindow::StartMeasuring);
    connect(cancel_, &QPushButton::clicked, this, &CMeasureWindow::CancelMeasuring);
    connect(save_, &QPushButton::clicked, this, &CMeasureWindow::AskAndSave);
    connect(use_, &QPushButton::clicked, this, [this] {
        if (result_) emit useForFit(*result_);
    });
    auto* buttons = new QGridLayout;
    buttons->addWidget(measure_, 0, 0);
    buttons->addWidget(cancel_, 0, 1);
    buttons->addWidget(save_, 1, 0);
    buttons->addWidget(use_, 1, 1);
    form->addRow(buttons);

    status_.AddMessage(box, form);
    return box;
}

CMeasureWindow::~CMeasureWindow() { CancelMeasuring(); }

MeasureSettings CMeasureWindow::Settings() const
{
    MeasureSettings settings = sweep_->Settings();
    settings.positions = positions_->value();
    return settings;
}

bool CMeasureWindow::StartMeasuring()
{
    if (run_) return false;
    const QString notReady = UnitNotReady(QStringLiteral("the measurement sets its mutes between the sweeps"));
    if (!notReady.isEmpty()) {
        status_.Say(notReady);
        return false;
    }
    auto mutes = std::make_shared<WorkerMutes>();  // the person's mutes as `model` shows them now
    const auto measure = [settings = Settings(), mutes](const RunCallbacks& callbacks,
                                                        const std::atomic<bool>& cancel) {
        MeasurementOutcome outcome;
        outcome.result = Guarded(
            [&] { return MeasurePositions(settings, mutes.get(), callbacks, callbacks.await, cancel); },
            outcome.failure);
        return outcome;
    };
    measured_.clear();
    run_ = SoundRun::Start<MeasurementOutcome>(
        measure, this, [this](const MeasurementOutcome& outcome) { Finish(outcome); }, [this](SoundRun* run) {
            status_.Follow(run, this);
            connect(run, &SoundRun::personAwaited, this, &CMeasureWindow::AskForPosition);
        });
    status_.Say(QStringLiteral("Measuring..."));
    status_.ShowProgress(0.0, QString());
    UpdateButtons();
    emit measuringChanged(true);
    return true;
}

void CMeasureWindow::CancelMeasuring()
{
    if (run_) run_->Cancel();
    delete positionBox_;
    positionBox_ = nullptr;
}

void CMeasureWindow::AskForPosition(const PositionShown& pause)
{
    const auto at = static_cast<std::size_t>(pause.measured - 1);
    measured_.resize(std::max(measured_.size(), at + 1));
    measured_[at] = pause.result;
    ShowCurves(measured_, pause.averages);
    impulses_->Show(pause.result);
    FillTable(pause.result);
    status_.ShowLevel(kSilenceDbfs);
    status_.Say(WaitingText(pause));
    positionBox_ = OpenPositionBox(this, pause, [this](PositionChoice choice) {
        positionBox_ = nullptr;
        Answer(choice);
    });
}

void CMeasureWindow::Answer(PositionChoice choice)
{
    if (!run_) return;
    if (choice == PositionChoice::Cancel)
        CancelMeasuring();
    else
        run_->Answer(choice);
}

void CMeasureWindow::closeEvent(QCloseEvent* event)
{
    CancelMeasuring();
    event->accept();
}

void CMeasureWindow::Finish(const MeasurementOutcome& outcome)
{
    run_ = nullptr;
    measured_.clear();
    status_.ShowLevel(kSilenceDbfs);
    const RunFailure& failure = outcome.failure;
    if (outcome.result) {
        status_.ShowProgress(1.0, QStringLiteral("done"));
        ShowResult(*outcome.result);
    } else {
        status_.ShowProgress(0.0, failure.cancelled ? QStringLiteral("cancelled") : QStringLiteral("failed"));
        status_.Say(failure.error, !failure.cancelled);
    }
    if (!failure.unrestored.isEmpty()) status_.WarnUnrestored(this, failure.unrestored);
    UpdateButtons();
    emit measuringChanged(false);
}

void CMeasureWindow::ShowResult(const PositionsResult& result)
{
    result_ = result;
    if (result.positions.size() == 1) {
        curves_->Show(MeasuredCurves(result.positions.front()));
        FillTable(result.positions.front());
    } else {
        ShowCurves(result.positions, result.averages);
        FillAverages(result.averages);
    }
    impulses_->Show(result.positions.back());
    const bool ok = result.AllOk();
    status_.Say(ok ? QStringLiteral("Every output measured is ok.")
           : QStringLiteral("Not every output measured is ok: see the verdicts."),
                !ok);
}

void CMeasureWindow::ShowCurves(const std::vector<MeasurementResult>& positions,
                                const std::vector<OutputAverage>& averages)
{
    curves_->ShowPositions(PositionsCurves(positions, averages));
}

void CMeasureWindow::FillTable(const MeasurementResult& result)
{
    table_->setRowCount(static_cast<int>(result.outputs.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const OutputResult& output = result.outputs[static_cast<std::size_t>(row)];
        FillRow(table_, row, output.output, QString::fromStdString(VerdictWithReplays(output)), output.arrivalMs,
                output.peakDbfs, output.snrDb);
    }
    table_->resizeColumnsToContents();
}

void CMeasureWindow::FillAverages(const std::vector<OutputAverage>& averages)
{
    table_->setRowCount(static_cast<int>(averages.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const OutputAverage& average = averages[static_cast<std::size_t>(row)];
        FillRow(table_, row, average.output, QString::fromStdString(average.verdictText), average.arrivalMs,
                average.peakDbfs, average.snrDb);
    }
    table_->resizeColumnsToContents();
}

bool CMeasureWindow::SaveTo(const QString& folder)
{
    if (!result_) return false;
    try {
        const std::vector<std::filesystem::path> files = SavePositions(*result_, folder.toStdString());
        status_.Say(QStringLiteral("Saved %1 files in %2.").arg(files.size()).arg(folder));
        return true;
    } catch (const MeasurementFileError& error) {
        status_.Say(QString::fromStdString(error.what()), true);
        return false;
    }
}

void CMeasureWindow::AskAndSave()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Save the measurement - Quenbar"));
    if (!folder.isEmpty()) SaveTo(folder);
}

void CMeasureWindow::UpdateButtons()
{
    const bool measuring = run_ != nullptr;
    measure_->setEnabled(!measuring);
    cancel_->setEnabled(measuring);
    save_->setEnabled(!measuring && result_);
    use_->setEnabled(!measuring && !curves_->Curves().empty());
    sweep_->SetRunning(measuring);
    positions_->setEnabled(!measuring);
}

void UseForFit(CTuningBar& tuning, const PositionsResult& measurement)
{
    const QString taken = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"));
    for (const int slot : {kSlotLeftRight, kSlotSub})
        if (std::optional<LevelCurve> points = FitMeasurementOf(measurement, slot))
            tuning.UseMeasurement(slot, ChannelMeasurement(QStringLiteral("measured %1").arg(taken), *points));
}
