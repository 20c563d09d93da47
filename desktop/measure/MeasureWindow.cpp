#include "measure/MeasureWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "AudioDevices.h"
#include "FitMeasurement.h"
#include "MeasurementFiles.h"
#include "Sweep.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "graph/ChannelMeasurement.h"
#include "graph/TuningBar.h"
#include "measure/MeasurePlots.h"
#include "measure/MeasurementRun.h"

namespace {

// The input meter's span in dBFS.
constexpr int kMeterFloorDbfs = -60;
constexpr int kProgressSteps = 1000;

enum Column { kOutput, kVerdict, kArrival, kPeak, kSnr, kColumns };

// Each device that plays (or records), the default first; the data is the
// name the measurement takes.
void AddDevices(QComboBox* box, const std::vector<AudioDevice>& devices, AudioDirection direction)
{
    const bool output = direction == AudioDirection::Output;
    std::vector<const AudioDevice*> usable;
    for (const AudioDevice& device : devices)
        if ((output ? device.outputChannels : device.inputChannels) > 0) usable.push_back(&device);
    std::stable_partition(usable.begin(), usable.end(), [output](const AudioDevice* device) {
        return output ? device->defaultOutput : device->defaultInput;
    });
    for (const AudioDevice* device : usable) {
        const QString name = QString::fromStdString(device->name);
        const bool isDefault = output ? device->defaultOutput : device->defaultInput;
        box->addItem(isDefault ? QStringLiteral("%1 (default)").arg(name) : name, name);
    }
}

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

QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CMeasureWindow::CMeasureWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Measure - Quenbar"));
    curves_ = new MeasuredCurvesGraph(this);
    curves_->setObjectName(QStringLiteral("curves"));
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
    auto* left = new QVBoxLayout;
    left->addWidget(MakeSettingsBox());
    left->addWidget(MakeRunBox());
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);
    UpdateButtons();
}

QWidget* CMeasureWindow::MakeSettingsBox()
{
    auto* box = new QGroupBox(QStringLiteral("Sweep"), this);
    auto* form = new QFormLayout(box);
    play_ = new QComboBox(box);
    play_->setObjectName(QStringLiteral("play"));
    record_ = new QComboBox(box);
    record_->setObjectName(QStringLiteral("record"));
    FillDevices();
    form->addRow(QStringLiteral("&Play:"), play_);
    form->addRow(QStringLiteral("&Record:"), record_);

    level_ = new QDoubleSpinBox(box);
    level_->setObjectName(QStringLiteral("level"));
    level_->setSuffix(QStringLiteral(" dBFS"));
    level_->setDecimals(1);
    level_->setRange(kMeterFloorDbfs, kSweepLoudDbfs);
    level_->setValue(MeasureSettings{}.levelDbfs);
    loud_ = new QCheckBox(QStringLiteral("Allow above %1 dBFS").arg(kSweepLoudDbfs), box);
    loud_->setObjectName(QStringLiteral("allowLoud"));
    connect(loud_, &QCheckBox::toggled, this, &CMeasureWindow::FollowLoudness);
    form->addRow(QStringLiteral("&Level:"), level_);
    form->addRow(QString(), loud_);

    auto* outputs = new QHBoxLayout;
    for (MeasuredOutput output :
         {MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub, MeasuredOutput::System}) {
        const QString name = QString::fromLatin1(OutputName(output));
        auto* tick = new QCheckBox(name, box);
        tick->setObjectName(name);
        tick->setChecked(true);
        outputs->addWidget(tick);
        outputs_.emplace_back(output, tick);
    }
    form->addRow(QStringLiteral("Outputs:"), outputs);

    length_ = new QDoubleSpinBox(box);
    length_->setObjectName(QStringLiteral("length"));
    length_->setSuffix(QStringLiteral(" s"));
    length_->setDecimals(1);
    length_->setRange(0.5, 10.0);
    length_->setValue(MeasureSettings{}.sweepSeconds);
    form->addRow(QStringLiteral("Le&ngth:"), length_);
    return box;
}

QWidget* CMeasureWindow::MakeRunBox()
{
    auto* box = new QGroupBox(QStringLiteral("Measurement"), this);
    auto* form = new QFormLayout(box);
    meter_ = new QProgressBar(box);
    meter_->setObjectName(QStringLiteral("inputMeter"));
    meter_->setRange(kMeterFloorDbfs, 0);
    ShowLevel(kSilenceDbfs);
    form->addRow(QStringLiteral("Input:"), meter_);
    progress_ = new QProgressBar(box);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(0);
    form->addRow(QStringLiteral("Progress:"), progress_);
    step_ = new QLabel(box);
    step_->setObjectName(QStringLiteral("step"));
    form->addRow(QString(), step_);

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

    message_ = new QLabel(box);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(message_);
    return box;
}

void CMeasureWindow::FillDevices()
{
    try {
        const std::vector<AudioDevice> devices = ListAudioDevices();
        AddDevices(play_, devices, AudioDirection::Output);
        AddDevices(record_, devices, AudioDirection::Input);
    } catch (const AudioError& error) {
        // The measurement then says so again, with the default devices.
        play_->setToolTip(QString::fromStdString(error.what()));
    }
}

void CMeasureWindow::FollowLoudness() { level_->setMaximum(loud_->isChecked() ? 0.0 : kSweepLoudDbfs); }

MeasureSettings CMeasureWindow::Settings() const
{
    MeasureSettings settings;
    settings.outputs.clear();
    for (const auto& [output, tick] : outputs_)
        if (tick->isChecked()) settings.outputs.push_back(output);
    settings.playDevice = play_->currentData().toString().toStdString();
    settings.recordDevice = record_->currentData().toString().toStdString();
    settings.levelDbfs = level_->value();
    settings.allowLoud = loud_->isChecked();
    settings.sweepSeconds = length_->value();
    return settings;
}

bool CMeasureWindow::StartMeasuring()
{
    if (run_) return false;
    if (!model.connected) {
        Say(
            QStringLiteral("Connect to the unit first (Config > Connect): the measurement sets its mutes between "
                           "the sweeps."));
        return false;
    }
    if (UnitTasks().Busy()) {
        Say(QStringLiteral("The unit is busy with another operation: measure when it has ended."));
        return false;
    }
    run_ = MeasurementRun::Start(Settings());
    connect(run_, &MeasurementRun::progressed, this, &CMeasureWindow::ShowProgress);
    connect(run_, &MeasurementRun::inputLevel, this, &CMeasureWindow::ShowLevel);
    connect(run_, &MeasurementRun::finished, this, &CMeasureWindow::Finish);
    Say(QStringLiteral("Measuring..."));
    ShowProgress(0.0, QString());
    UpdateButtons();
    emit measuringChanged(true);
    return true;
}

void CMeasureWindow::CancelMeasuring()
{
    if (run_) run_->Cancel();
}

void CMeasureWindow::closeEvent(QCloseEvent* event)
{
    CancelMeasuring();
    event->accept();
}

void CMeasureWindow::ShowLevel(double dbfs)
{
    const int shown = static_cast<int>(std::lround(std::clamp(dbfs, double(kMeterFloorDbfs), 0.0)));
    meter_->setValue(shown);
    meter_->setFormat(dbfs <= kMeterFloorDbfs ? QStringLiteral("silent")
                                              : QStringLiteral("%1 dBFS").arg(dbfs, 0, 'f', 1));
}

void CMeasureWindow::ShowProgress(double fraction, const QString& step)
{
    progress_->setValue(static_cast<int>(std::lround(fraction * kProgressSteps)));
    step_->setText(step);
}

void CMeasureWindow::Finish(const MeasurementOutcome& outcome)
{
    run_ = nullptr;
    ShowLevel(kSilenceDbfs);
    if (outcome.result) {
        ShowProgress(1.0, QStringLiteral("done"));
        ShowResult(*outcome.result);
    } else {
        ShowProgress(0.0, outcome.cancelled ? QStringLiteral("cancelled") : QStringLiteral("failed"));
        Say(outcome.error, !outcome.cancelled);
    }
    if (!outcome.unrestored.isEmpty()) {
        // Loud, and not modal: the window stays usable.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Measure - Quenbar"), outcome.unrestored,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        Say(message_->text() + QLatin1Char('\n') + outcome.unrestored, true);
    }
    UpdateButtons();
    emit measuringChanged(false);
}

void CMeasureWindow::ShowResult(const MeasurementResult& result)
{
    result_ = result;
    curves_->Show(MeasuredCurves(result));
    impulses_->Show(result);
    FillTable(result);
    const bool ok = result.AllOk();
    Say(ok ? QStringLiteral("Every output measured is ok.")
           : QStringLiteral("Not every output measured is ok: see the verdicts."),
        !ok);
}

void CMeasureWindow::FillTable(const MeasurementResult& result)
{
    table_->setRowCount(static_cast<int>(result.outputs.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const OutputResult& output = result.outputs[static_cast<std::size_t>(row)];
        table_->setItem(row, kOutput, Cell(QString::fromLatin1(OutputName(output.output))));
        table_->setItem(row, kVerdict, Cell(QString::fromStdString(output.verdictText)));
        table_->setItem(row, kArrival, Cell(Number(output.arrivalMs, 2, "ms")));
        table_->setItem(row, kPeak, Cell(Number(output.peakDbfs, 1, "dBFS")));
        table_->setItem(row, kSnr, Cell(output.snrDb ? Number(*output.snrDb, 1, "dB") : QStringLiteral("-")));
    }
    table_->resizeColumnsToContents();
}

void CMeasureWindow::Say(const QString& text, bool alarm)
{
    message_->setStyleSheet(alarm ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
    message_->setText(text);
}

bool CMeasureWindow::SaveTo(const QString& folder)
{
    if (!result_) return false;
    try {
        const std::vector<std::filesystem::path> files = SaveMeasurement(*result_, folder.toStdString());
        Say(QStringLiteral("Saved %1 files in %2.").arg(files.size()).arg(folder));
        return true;
    } catch (const MeasurementFileError& error) {
        Say(QString::fromStdString(error.what()), true);
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
    for (QWidget* control :
         {static_cast<QWidget*>(play_), static_cast<QWidget*>(record_), static_cast<QWidget*>(level_),
          static_cast<QWidget*>(loud_), static_cast<QWidget*>(length_)})
        control->setEnabled(!measuring);
}

void UseForFit(CTuningBar& tuning, const MeasurementResult& measurement)
{
    const QString taken = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm"));
    for (const int slot : {kSlotLeftRight, kSlotSub})
        if (std::optional<Measurement> points = FitMeasurementOf(measurement, slot))
            tuning.UseMeasurement(slot, ChannelMeasurement(QStringLiteral("measured %1").arg(taken), *points));
}
