#include "measure/SweepBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "AudioDevices.h"
#include "Sweep.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "measure/SoundRun.h"

namespace {

// The input meter's span in dBFS.
constexpr int kMeterFloorDbfs = -60;
constexpr int kProgressSteps = 1000;

}  // namespace

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

SweepBox::SweepBox(QWidget* parent, bool chooseOutputs) : QGroupBox(QStringLiteral("Sweep"), parent)
{
    auto* form = new QFormLayout(this);
    play_ = new QComboBox(this);
    play_->setObjectName(QStringLiteral("play"));
    record_ = new QComboBox(this);
    record_->setObjectName(QStringLiteral("record"));
    FillDevices();
    form->addRow(QStringLiteral("&Play:"), play_);
    form->addRow(QStringLiteral("&Record:"), record_);

    level_ = new QDoubleSpinBox(this);
    level_->setObjectName(QStringLiteral("level"));
    level_->setSuffix(QStringLiteral(" dBFS"));
    level_->setDecimals(1);
    level_->setRange(kQuietestSweepDbfs, kSweepLoudDbfs);
    level_->setValue(MeasureSettings{}.sweep.levelDbfs);
    loud_ = new QCheckBox(QStringLiteral("Allow above %1 dBFS").arg(kSweepLoudDbfs), this);
    loud_->setObjectName(QStringLiteral("allowLoud"));
    connect(loud_, &QCheckBox::toggled, this, &SweepBox::FollowLoudness);
    form->addRow(QStringLiteral("&Level:"), level_);
    form->addRow(QString(), loud_);

    if (chooseOutputs) {
        auto* outputs = new QHBoxLayout;
        for (MeasuredOutput output : MeasureSettings{}.outputs) {
            const QString name = QString::fromLatin1(OutputName(output));
            auto* tick = new QCheckBox(name, this);
            tick->setObjectName(name);
            tick->setChecked(true);
            outputs->addWidget(tick);
            outputs_.emplace_back(output, tick);
        }
        form->addRow(QStringLiteral("Outputs:"), outputs);
    }

    length_ = new QDoubleSpinBox(this);
    length_->setObjectName(QStringLiteral("length"));
    length_->setSuffix(QStringLiteral(" s"));
    length_->setDecimals(1);
    length_->setRange(kShortestSweepSeconds, kLongestSweepSeconds);
    length_->setValue(MeasureSettings{}.sweep.seconds);
    form->addRow(QStringLiteral("Le&ngth:"), length_);
}

void SweepBox::FillDevices()
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

void SweepBox::FollowLoudness() { level_->setMaximum(loud_->isChecked() ? 0.0 : kSweepLoudDbfs); }

MeasureSettings SweepBox::Settings() const
{
    MeasureSettings settings;
    if (!outputs_.empty()) {
        settings.outputs.clear();
        for (const auto& [output, tick] : outputs_)
            if (tick->isChecked()) settings.outputs.push_back(output);
    }
    settings.playDevice = play_->currentData().toString().toStdString();
    settings.recordDevice = record_->currentData().toString().toStdString();
    settings.sweep.levelDbfs = level_->value();
    settings.sweep.allowLoud = loud_->isChecked();
    settings.sweep.seconds = length_->value();
    return settings;
}

void SweepBox::SetRunning(bool running)
{
    for (QWidget* control : findChildren<QWidget*>()) control->setEnabled(!running);
}

void RunStatus::AddRows(QWidget* box, QFormLayout* form)
{
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
}

void RunStatus::AddMessage(QWidget* box, QFormLayout* form)
{
    message_ = new QLabel(box);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(message_);
}

void RunStatus::ShowLevel(double dbfs)
{
    const int shown = static_cast<int>(std::lround(std::clamp(dbfs, double(kMeterFloorDbfs), 0.0)));
    meter_->setValue(shown);
    meter_->setFormat(dbfs <= kMeterFloorDbfs ? QStringLiteral("silent")
                                              : QStringLiteral("%1 dBFS").arg(dbfs, 0, 'f', 1));
}

void RunStatus::ShowProgress(double fraction, const QString& step)
{
    progress_->setValue(static_cast<int>(std::lround(fraction * kProgressSteps)));
    step_->setText(step);
}

void RunStatus::Follow(SoundRun* run, QObject* context)
{
    QObject::connect(run, &SoundRun::progressed, context,
                     [this](double fraction, const QString& step) { ShowProgress(fraction, step); });
    QObject::connect(run, &SoundRun::inputLevel, context, [this](double dbfs) { ShowLevel(dbfs); });
}

void RunStatus::Say(const QString& text, bool alarm)
{
    message_->setStyleSheet(alarm ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
    message_->setText(text);
}

QString RunStatus::Said() const { return message_->text(); }

void RunStatus::WarnUnrestored(QWidget* window, const QString& unrestored)
{
    auto* box = new QMessageBox(QMessageBox::Warning, window->windowTitle(), unrestored, QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    Say(Said() + QLatin1Char('\n') + unrestored, true);
}

void LayOutBesideControls(QWidget* window, QWidget* sweep, QWidget* run, QLayout* right)
{
    auto* left = new QVBoxLayout;
    left->addWidget(sweep);
    left->addWidget(run);
    left->addStretch();
    auto* layout = new QHBoxLayout(window);
    layout->addLayout(left);
    layout->addLayout(right, 1);
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QString UnitNotReady(const QString& need)
{
    if (!model.connected) return QStringLiteral("Connect to the unit first (Config > Connect): %1.").arg(need);
    if (UnitTasks().Busy()) return QStringLiteral("The unit is busy with another operation: start when it has ended.");
    return {};
}
