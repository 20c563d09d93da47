#include "graph/TuningBar.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <limits>

#include "app/EditHistory.h"
#include "app/ErrorBox.h"
#include "app/UnitLink.h"
#include "graph/FitOptionsDialog.h"
#include "graph/TuningFiles.h"
#include "history/SettingChanges.h"
#include "model/Units.h"
#include "tuning/FilterImport.h"
#include "tuning/PeqFit.h"
#include "tuning/TuningText.h"

namespace {

QString ChannelName(int slot) { return slot == kSlotSub ? QStringLiteral("Sub") : QStringLiteral("Left&Right"); }

// The colours of a channel's measurement and prediction beside its curve.
QColor MeasuredColour(int slot) { return slot == kSlotSub ? QColor(150, 150, 255) : QColor(255, 170, 120); }
QColor PredictedColour(int slot) { return slot == kSlotSub ? QColor(0, 230, 160) : QColor(255, 230, 0); }

void ShowUnusable(QWidget* owner, const QString& path, const QString& what, const std::exception& error)
{
    ShowErrorBox(owner, QStringLiteral("The file %1 cannot be used as %2: %3.")
                            .arg(QDir::toNativeSeparators(path), what, QString::fromStdString(error.what())));
}

// Levels at the steps firstStep.. of a fit's result, moved by -offset; NaN elsewhere.
ResponseCurve FitLevels(const FitResult& result, const std::vector<double>& levels, double offset)
{
    ResponseCurve curve;
    curve.fill(std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < levels.size(); ++i)
        curve[static_cast<std::size_t>(result.firstStep) + i] = levels[i] - offset;
    return curve;
}

PeqProposal FitProposal(int slot, const FitResult& result)
{
    const double offset = MeanLevel(result.target.data(), 0, static_cast<int>(result.target.size()) - 1);
    const QString channel = ChannelName(slot);
    return {slot,
            QStringLiteral("Fit PEQ"),
            result.bands,
            std::nullopt,
            {QStringLiteral("%1: RMS deviation from the target, before %2 dB, after %3 dB.")
                 .arg(channel)
                 .arg(result.rmsBeforeDb, 0, 'f', 2)
                 .arg(result.rmsAfterDb, 0, 'f', 2)},
            {{QStringLiteral("Measured"), MeasuredColour(slot), FitLevels(result, result.measured, offset)},
             {QStringLiteral("Predicted"), PredictedColour(slot), FitLevels(result, result.predicted, offset)},
             {QStringLiteral("Target"), QColor(200, 200, 200), FitLevels(result, result.target, offset)}}};
}

QStringList ImportReport(const FilterImport& import)
{
    QStringList report;
    for (const ImportLine& line : import.lines)
        report << QStringLiteral("Line %1: %2 - %3: %4")
                      .arg(line.line)
                      .arg(QString::fromStdString(line.text), QString::fromLatin1(ImportOutcomeWord(line.outcome)),
                           QString::fromStdString(line.detail));
    report << QStringLiteral("Largest deviation from the file's filters over 20 Hz - 20 kHz: %1 dB.")
                  .arg(import.largestDeviationDb, 0, 'f', 2);
    return report;
}

// `model`'s setting with the proposal's bands and level.
ParameterModel ProposedSetting(const PeqProposal& proposal)
{
    ParameterModel setting = model;
    WritePeqBands(setting, proposal.slot, proposal.bands);
    if (proposal.levelStep) setting.gain[proposal.slot] = *proposal.levelStep;
    return setting;
}

PeqProposal ImportProposal(int slot, const FilterImport& import)
{
    const bool levelChanges = import.levelStep && *import.levelStep != model.gain[slot];
    PeqProposal proposal{slot,
                         QStringLiteral("Import PEQ filters"),
                         import.bands,
                         levelChanges ? import.levelStep : std::nullopt,
                         ImportReport(import),
                         {}};
    proposal.curves = {
        {QStringLiteral("Before"), QColor(200, 200, 200), ComputeResponse(model, slot)},
        {QStringLiteral("After"), PredictedColour(slot), ComputeResponse(ProposedSetting(proposal), slot)}};
    return proposal;
}

}  // namespace

CTuningBar::CTuningBar(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    channel_ = new QComboBox(this);
    channel_->setObjectName(QStringLiteral("channel"));
    for (const int slot : {kSlotLeftRight, kSlotSub}) channel_->addItem(ChannelName(slot), slot);
    connect(channel_, &QComboBox::currentIndexChanged, this, &CTuningBar::UpdateButtons);
    row->addWidget(channel_);
    AddButton(QStringLiteral("Import measurement..."), "importMeasurement", &CTuningBar::AskForMeasurement);
    clear_ = AddButton(QStringLiteral("Clear measurement"), "clearMeasurement", &CTuningBar::ClearMeasurement);
    AddButton(QStringLiteral("Import PEQ filters..."), "importFilters", &CTuningBar::AskForFilters);
    fit_ = AddButton(QStringLiteral("Fit PEQ..."), "fitPeq", &CTuningBar::FitMeasurement);
    // Undo (named after the step it takes back, an apply's among them) and
    // Redo, with their keys anywhere in the window.
    QAction* undo = EditHistory::AddCommandsTo(this).first;
    auto* undoButton = new QToolButton(this);
    undoButton->setObjectName(QStringLiteral("undo"));
    undoButton->setDefaultAction(undo);
    row->addWidget(undoButton);
    row->addStretch();
    connect(&fitRun_, &QFutureWatcher<FitRun>::finished, this, &CTuningBar::FitFinished);
    UpdateButtons();
}

QPushButton* CTuningBar::AddButton(const QString& text, const char* name, void (CTuningBar::*action)(int))
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(Slot()); });
    layout()->addWidget(button);
    return button;
}

int CTuningBar::Slot() const { return channel_->currentData().toInt(); }

const ChannelMeasurement* CTuningBar::MeasurementOf(int slot) const
{
    const auto& measurement = measurements_[static_cast<std::size_t>(slot)];
    return measurement ? &*measurement : nullptr;
}

std::vector<PlotCurve> CTuningBar::OverlayCurves() const
{
    std::vector<PlotCurve> curves;
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        const ChannelMeasurement* measurement = MeasurementOf(slot);
        if (measurement == nullptr) continue;
        const QString channel = ChannelName(slot);
        curves.push_back({channel + QStringLiteral(" measured"), MeasuredColour(slot), measurement->Levels()});
        curves.push_back({channel + QStringLiteral(" predicted"), PredictedColour(slot),
                          measurement->Predicted(ReadPeqBands(model, slot))});
    }
    return curves;
}

void CTuningBar::AskForMeasurement(int slot)
{
    const QString path = AskOpenFileName(this, QStringLiteral("Import measurement - %1").arg(ChannelName(slot)),
                                         QStringLiteral("Measurements (*.txt *.frd *.csv)"));
    if (!path.isEmpty()) ImportMeasurement(slot, path);
}

bool CTuningBar::ImportMeasurement(int slot, const QString& path)
{
    const auto text = ReadTextFile(this, path);
    if (!text) return false;
    try {
        UseMeasurement(slot, ChannelMeasurement(QFileInfo(path).fileName(), ParseLevelCurve(*text)));
    } catch (const TuningFileError& error) {
        ShowUnusable(this, path, QStringLiteral("a measurement"), error);
        return false;
    }
    return true;
}

void CTuningBar::UseMeasurement(int slot, ChannelMeasurement measurement)
{
    measurements_[static_cast<std::size_t>(slot)].emplace(std::move(measurement));
    UpdateButtons();
    emit overlayChanged();
}

void CTuningBar::ClearMeasurement(int slot)
{
    measurements_[static_cast<std::size_t>(slot)].reset();
    UpdateButtons();
    emit overlayChanged();
}

void CTuningBar::AskForFilters(int slot)
{
    const QString path = AskOpenFileName(this, QStringLiteral("Import PEQ filters - %1").arg(ChannelName(slot)),
                                         QStringLiteral("Equaliser filters (*.txt *.cfg)"));
    if (!path.isEmpty()) ImportFilterFile(slot, path);
}

void CTuningBar::ImportFilterFile(int slot, const QString& path)
{
    const auto text = ReadTextFile(this, path);
    if (!text) return;
    try {
        Offer(ImportProposal(slot, ImportFilters(ParseFilterFile(*text), model.gain[slot])));
    } catch (const TuningFileError& error) {
        ShowUnusable(this, path, QStringLiteral("equaliser filters"), error);
    }
}

void CTuningBar::FitMeasurement(int slot)
{
    const ChannelMeasurement* measurement = MeasurementOf(slot);
    if (measurement == nullptr || fitRun_.isRunning()) return;
    const std::optional<FitOptions> options = AskFitOptions();
    if (!options) return;
    fitSlot_ = slot;
    fitName_ = measurement->Name();
    fitRun_.setFuture(QtConcurrent::run([points = measurement->Points(), options = *options]() -> FitRun {
        try {
            return {FitPeq(points, options), {}};
        } catch (const std::exception& error) {
            return {std::nullopt, QString::fromStdString(error.what())};
        }
    }));
    UpdateButtons();
}

std::optional<FitOptions> CTuningBar::AskFitOptions()
{
    CDlgFitOptions ask(this, StoredFitChoices());
    if (ask.exec() != QDialog::Accepted) return std::nullopt;
    const FitChoices choices = ask.Choices();
    StoreFitChoices(choices);
    FitOptions options{choices.lowHz, choices.highHz, choices.maxBoostDb, choices.maxCutDb, std::nullopt};
    if (choices.targetPath.isEmpty()) return options;
    const auto text = ReadTextFile(this, choices.targetPath);
    if (!text) return std::nullopt;
    try {
        options.target = ParseLevelCurve(*text);
    } catch (const TuningFileError& error) {
        ShowUnusable(this, choices.targetPath, QStringLiteral("a target"), error);
        return std::nullopt;
    }
    return options;
}

// The fit's result, back on the GUI thread. A window closed meanwhile drops it.
void CTuningBar::FitFinished()
{
    UpdateButtons();
    if (!isVisible()) return;
    const FitRun run = fitRun_.result();
    if (run.result)
        Offer(FitProposal(fitSlot_, *run.result));
    else
        ShowErrorBox(this, QStringLiteral("No PEQ can be fitted to %1: %2.").arg(fitName_, run.error));
}

void CTuningBar::Offer(const PeqProposal& proposal)
{
    CDlgPeqProposal dialog(this, proposal);
    if (dialog.exec() != QDialog::Accepted) return;
    TheEditHistory().Apply(
        ProposedSetting(proposal),
        QStringLiteral("%1 %2").arg(proposal.title, QString::fromLatin1(ChannelCaption(proposal.slot))));
}

void CTuningBar::UpdateButtons()
{
    const auto slot = static_cast<std::size_t>(Slot());
    const bool fitting = fitRun_.isRunning();
    fit_->setEnabled(measurements_[slot].has_value() && !fitting);
    fit_->setText(fitting ? QStringLiteral("Fitting...") : QStringLiteral("Fit PEQ..."));
    if (fitting)
        window()->setCursor(Qt::BusyCursor);
    else
        window()->unsetCursor();
    clear_->setEnabled(measurements_[slot].has_value());
}
