#include "tune/TuneWindow.h"

#include <QCloseEvent>
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
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "TuneReport.h"
#include "TuneTexts.h"
#include "app/UnitLink.h"
#include "measure/MeasurePlots.h"
#include "measure/PositionBox.h"
#include "response/GraphCurve.h"
#include "tune/WorkerTuneUnit.h"

namespace {

enum ProposalColumn { kPart, kProposal, kEffect, kProposalColumns };
enum CheckColumn { kOutput, kRmsBefore, kRmsAfter, kMiss, kCheckColumns };

QTableWidgetItem* Cell(const std::string& text)
{
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled);
    item->setToolTip(item->text());
    return item;
}

QDoubleSpinBox* DbBox(QWidget* parent, const char* name, double low, double high, double value)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setSuffix(QStringLiteral(" dB"));
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headings)
{
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->setWordWrap(false);
    return table;
}

// Tall enough for `rows` rows and the headings, no taller: the graphs take the rest.
void FitHeightTo(QTableWidget* table, int rows)
{
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() +
                          rows * table->verticalHeader()->defaultSectionSize() + 2 * table->frameWidth());
}

// The fields an apply left as they may be, for the person to check.
QString FieldsText(const std::vector<FieldChange>& changes)
{
    return QString::fromStdString(DescribeChanges(changes));
}

// What a failure of the pass says, with what it left on the unit.
template <class Result>
QString FailureText(const TuneRunOutcome<Result>& outcome)
{
    QString text = outcome.failure.error;
    if (!outcome.leftChanged.empty())
        text += QStringLiteral("\nThese fields may still hold the new values: %1.").arg(FieldsText(outcome.leftChanged));
    if (!outcome.passesDone.empty())
        text += QStringLiteral("\nThe change was applied (Edit > Undo takes it back).");
    return text;
}

// Runs the pass's `work` over the desktop's unit, with its errors as the window shows them.
template <class Result>
TuneRunOutcome<Result> RunGuarded(const std::function<Result(TuneUnit&, const TuneCallbacks&, const std::atomic<bool>&)>& work,
                                  WorkerTuneUnit& unit, const TuneCallbacks& callbacks, const std::atomic<bool>& cancel)
{
    TuneRunOutcome<Result> outcome;
    try {
        outcome.result = work(unit, callbacks, cancel);
    } catch (const TuneError& error) {
        outcome.failure.error = QString::fromStdString(error.what());
        outcome.failure.cancelled = error.kind() == TuneError::Kind::Cancelled;
        outcome.failure.unrestored = QString::fromStdString(UnrestoredWarning(error.unrestored));
        outcome.leftChanged = error.leftChanged;
        outcome.passesDone = error.passesDone;
    } catch (const std::exception& error) {
        outcome.failure.error = QString::fromStdString(error.what());
    }
    return outcome;
}

// What `proposed` would make of each position measured at the start.
std::vector<SystemMeasurement> PredictedAtPositions(const TuneStart& start, const ParameterModel& proposed)
{
    std::vector<SystemMeasurement> predicted;
    for (const SystemMeasurement& position : start.measurements)
        predicted.push_back(PredictedMeasurement(position, start.setting, proposed));
    return predicted;
}

}  // namespace

CTuneWindow::CTuneWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tune System - Quenbar"));
    auto* graphs = new QGridLayout;
    for (std::size_t i = 0; i < graphs_.size(); ++i) {
        auto* box = new QGroupBox(TuneOutputTitle(kTuneOutputs[i]), this);
        auto* inside = new QVBoxLayout(box);
        inside->setContentsMargins(2, 2, 2, 2);
        graphs_[i] = new MeasuredCurvesGraph(box);
        graphs_[i]->setMinimumSize(kGraphWidth * 2 / 3, kGraphHeight * 3 / 4);  // four beside the tables on a laptop
        graphs_[i]->setObjectName(TuneOutputTitle(kTuneOutputs[i]).toLower());
        inside->addWidget(graphs_[i]);
        graphs->addWidget(box, static_cast<int>(i / 2), static_cast<int>(i % 2));
    }
    auto* right = new QVBoxLayout;
    right->addLayout(graphs, 1);
    right->addWidget(MakeTables());

    sweep_ = new SweepBox(this, false);
    LayOutBesideControls(this, sweep_, MakeRunBox(), right);
    UpdateButtons();
}

CTuneWindow::~CTuneWindow() { Cancel(); }

QWidget* CTuneWindow::MakeRunBox()
{
    auto* box = new QGroupBox(QStringLiteral("Tuning"), this);
    auto* form = new QFormLayout(box);
    subOffset_ = DbBox(box, "subOffset", -kMostSubOffsetDb, kMostSubOffsetDb, LevelOptions{}.subOffsetDb);
    subOffset_->setToolTip(QStringLiteral("The Sub this much above the tops"));
    form->addRow(QStringLiteral("Sub &offset:"), subOffset_);
    maxRise_ = DbBox(box, "maxRise", 0.0, kMostMaxRiseDb, LevelOptions{}.maxRiseDb);
    maxRise_->setToolTip(QStringLiteral("No level rises by more"));
    form->addRow(QStringLiteral("Largest &rise:"), maxRise_);
    positions_ = MakePositionsBox(box);
    form->addRow(QStringLiteral("Pos&itions:"), positions_);
    status_.AddRows(box, form);

    measure_ = MakeButton(box, QStringLiteral("&Measure"), "measure");
    apply_ = MakeButton(box, QStringLiteral("&Apply and measure again"), "apply");
    cancel_ = MakeButton(box, QStringLiteral("Cancel"), "cancel");
    report_ = MakeButton(box, QStringLiteral("Re&port..."), "report");
    connect(measure_, &QPushButton::clicked, this, &CTuneWindow::StartMeasuring);
    connect(apply_, &QPushButton::clicked, this, &CTuneWindow::StartApplying);
    connect(cancel_, &QPushButton::clicked, this, &CTuneWindow::Cancel);
    connect(report_, &QPushButton::clicked, this, &CTuneWindow::AskAndWriteReport);
    auto* buttons = new QGridLayout;
    buttons->addWidget(measure_, 0, 0);
    buttons->addWidget(cancel_, 0, 1);
    buttons->addWidget(apply_, 1, 0, 1, 2);
    buttons->addWidget(report_, 2, 0, 1, 2);
    form->addRow(buttons);
    status_.AddMessage(box, form);
    return box;
}

QWidget* CTuneWindow::MakeTables()
{
    auto* tables = new QWidget(this);
    auto* layout = new QVBoxLayout(tables);
    layout->setContentsMargins(0, 0, 0, 0);
    proposal_ = MakeTable(tables, "proposal",
                          {QStringLiteral("Part"), QStringLiteral("Proposal"), QStringLiteral("Predicted effect")});
    proposal_->horizontalHeader()->setSectionResizeMode(kEffect, QHeaderView::Stretch);
    connect(proposal_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kPart) ShowCurves();
    });
    FitHeightTo(proposal_, static_cast<int>(std::size(kTuneParts)));
    layout->addWidget(proposal_);
    auto* verification = new QHBoxLayout;
    checks_ = MakeTable(tables, "checks",
                        {QStringLiteral("Output"), QStringLiteral("RMS before"), QStringLiteral("RMS after"),
                         QStringLiteral("Largest miss")});
    FitHeightTo(checks_, static_cast<int>(std::size(kTuneOutputs)));
    checks_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    verification->addWidget(checks_);
    findings_ = new QLabel(tables);
    findings_->setObjectName(QStringLiteral("findings"));
    findings_->setWordWrap(true);
    findings_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    findings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verification->addWidget(findings_, 1);
    layout->addLayout(verification);
    return tables;
}

template <class Result>
void CTuneWindow::Begin(const QString& text,
                        std::function<Result(TuneUnit&, const TuneCallbacks&, const std::atomic<bool>&)> work,
                        std::function<void(const Result&)> done)
{
    auto unit = std::make_shared<WorkerTuneUnit>();  // the person's mutes as `model` shows them now
    QPointer<CTuneWindow> window(this);
    const auto pass = [work = std::move(work), unit, window](const RunCallbacks& run, const std::atomic<bool>& cancel) {
        TuneCallbacks callbacks{[window](TuneStage stage) {
                                    QMetaObject::invokeMethod(qApp, [window, stage] {
                                        if (window) window->status_.Say(QStringLiteral("%1...").arg(
                                                        QString::fromLatin1(StageName(stage))));
                                    });
                                },
                                run, run.await};
        unit->CancelledBy(cancel);
        return RunGuarded<Result>(work, *unit, callbacks, cancel);
    };
    const auto ended = [this, done](const TuneRunOutcome<Result>& outcome) {
        if (Ended(outcome)) done(*outcome.result);
        UpdateButtons();
        emit runningChanged(false);
    };
    run_ = SoundRun::Start<TuneRunOutcome<Result>>(pass, this, ended, [this](SoundRun* run) {
        status_.Follow(run, this);
        connect(run, &SoundRun::personAwaited, this, &CTuneWindow::AskForPosition);
    });
    measured_.clear();
    status_.Say(text);
    status_.ShowProgress(0.0, QString());
    UpdateButtons();
    emit runningChanged(true);
}

template <class Result>
bool CTuneWindow::Ended(const TuneRunOutcome<Result>& outcome)
{
    run_ = nullptr;
    measured_.clear();
    status_.ShowLevel(kSilenceDbfs);
    const RunFailure& failure = outcome.failure;
    if (outcome.result) {
        status_.ShowProgress(1.0, QStringLiteral("done"));
    } else {
        status_.ShowProgress(0.0, failure.cancelled ? QStringLiteral("cancelled") : QStringLiteral("failed"));
        status_.Say(FailureText(outcome), !failure.cancelled || !outcome.passesDone.empty());
    }
    if (!failure.unrestored.isEmpty()) status_.WarnUnrestored(this, failure.unrestored);
    return outcome.result.has_value();
}

bool CTuneWindow::StartMeasuring()
{
    if (run_) return false;
    const QString notReady = UnitNotReady(QStringLiteral("tuning sets the unit's mutes between the sweeps"));
    if (!notReady.isEmpty()) {
        status_.Say(notReady, true);
        return false;
    }
    TuneSettings settings;
    settings.measure = sweep_->Settings();
    settings.options.levels.subOffsetDb = subOffset_->value();
    settings.options.levels.maxRiseDb = maxRise_->value();
    settings.measure.positions = positions_->value();
    Begin<TuneStart>(
        QStringLiteral("Measuring..."),
        [settings](TuneUnit& unit, const TuneCallbacks& callbacks, const std::atomic<bool>& cancel) {
            return MeasureAndPropose(settings, unit, callbacks, cancel);
        },
        [this](const TuneStart& start) {
            start_ = start;
            outcome_.reset();
            applied_ = {false, false, false, false};
            ShowProposal();
            ShowVerification();
            status_.Say(QStringLiteral("Proposed: tick the parts to apply, then Apply and measure again."));
        });
    return true;
}

bool CTuneWindow::StartApplying()
{
    if (run_) return false;
    if (!start_) {
        status_.Say(QStringLiteral("Measure first: there is no proposal to apply."), true);
        return false;
    }
    const QString notReady = UnitNotReady(QStringLiteral("tuning changes the unit's setting"));
    if (!notReady.isEmpty()) {
        status_.Say(notReady, true);
        return false;
    }
    const TuneParts parts = Parts();
    Begin<TuneOutcome>(
        QStringLiteral("Applying..."),
        [start = *start_, parts](TuneUnit& unit, const TuneCallbacks& callbacks, const std::atomic<bool>& cancel) {
            return ApplyAndVerify(start, parts, unit, callbacks, cancel);
        },
        [this, parts](const TuneOutcome& outcome) {
            outcome_ = outcome;
            applied_ = parts;
            ShowCurves();
            ShowVerification();
            status_.Say(QStringLiteral("Applied as one step (Edit > Undo takes it back) and measured again%1.")
                            .arg(outcome.passes.size() > 1 ? QStringLiteral(", with a second pass") : QString()));
        });
    return true;
}

void CTuneWindow::Cancel()
{
    if (run_) run_->Cancel();
    delete positionBox_;
    positionBox_ = nullptr;
}

void CTuneWindow::AskForPosition(const PositionShown& pause)
{
    if (pause.measured > 0) {
        const auto at = static_cast<std::size_t>(pause.measured - 1);
        measured_.resize(std::max(measured_.size(), at + 1));
        measured_[at] = pause.result;
        ShowPositions(pause.averages);
    } else {
        measured_.clear();  // the verifying round starts at the first position
    }
    status_.ShowLevel(kSilenceDbfs);
    status_.Say(WaitingText(pause));
    positionBox_ = OpenPositionBox(this, pause, [this](PositionChoice choice) {
        positionBox_ = nullptr;
        if (choice == PositionChoice::Cancel)
            Cancel();
        else if (run_)
            run_->Answer(choice);
    });
}

// Each output's graph: the positions measured so far, their average and spread.
void CTuneWindow::ShowPositions(const std::vector<OutputAverage>& averages)
{
    const std::vector<PositionCurves> outputs = PositionsCurves(measured_, averages);
    for (std::size_t i = 0; i < graphs_.size(); ++i) {
        std::vector<PositionCurves> shown;
        for (const PositionCurves& output : outputs)
            if (output.average.name == TuneOutputTitle(kTuneOutputs[i])) shown.push_back(output);
        graphs_[i]->ShowPositions(std::move(shown));
    }
}

void CTuneWindow::closeEvent(QCloseEvent* event)
{
    Cancel();
    event->accept();
}

TuneParts CTuneWindow::Parts() const
{
    TuneParts parts{false, false, false, false};
    for (int row = 0; row < proposal_->rowCount(); ++row)
        Takes(parts, kTuneParts[row]) = proposal_->item(row, kPart)->checkState() == Qt::Checked;
    return parts;
}

void CTuneWindow::SetPart(int row, bool ticked)
{
    proposal_->item(row, kPart)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void CTuneWindow::ShowProposal()
{
    const QSignalBlocker quiet(proposal_);
    proposal_->setRowCount(static_cast<int>(std::size(kTuneParts)));
    for (int row = 0; row < proposal_->rowCount(); ++row) {
        const TunePartText text = DescribePart(start_->setting, start_->proposal, kTuneParts[row]);
        QTableWidgetItem* part = Cell(text.part);
        part->setFlags(text.applicable ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::NoItemFlags);
        part->setCheckState(text.applicable ? Qt::Checked : Qt::Unchecked);
        proposal_->setItem(row, kPart, part);
        proposal_->setItem(row, kProposal, Cell(text.proposal));
        proposal_->setItem(row, kEffect, Cell(text.note.empty() ? text.effect : text.effect + ". " + text.note));
    }
    proposal_->resizeColumnsToContents();
    ShowCurves();
}

void CTuneWindow::ShowCurves()
{
    if (!start_) return;
    // Before applying, the prediction follows the ticks; after, the last pass's.
    const AppliedPass* last = outcome_ ? &outcome_->passes.back() : nullptr;
    const std::vector<SystemMeasurement> predicted =
        last ? last->predictedPositions
             : PredictedAtPositions(*start_, ProposedSetting(start_->setting, start_->proposal, Parts()));
    const TuneMeasurements measurements{start_->measurements, predicted,
                                        last ? std::span(last->afterPositions) : std::span<const SystemMeasurement>(),
                                        start_->proposal.region};
    for (std::size_t i = 0; i < graphs_.size(); ++i) {
        TuneGraph graph = TuneCurves(measurements, kTuneOutputs[i], ScreenTuneColours());
        graphs_[i]->Show(std::move(graph.curves), std::move(graph.positions));
    }
}

void CTuneWindow::ShowVerification()
{
    checks_->setRowCount(0);
    if (!outcome_) {
        QStringList sums;
        for (const std::string& sum : PositionSumTexts(start_->proposal)) sums << QString::fromStdString(sum);
        findings_->setText(sums.join(QLatin1Char('\n')));
        return;
    }
    const AppliedPass& last = outcome_->passes.back();
    const std::vector<OutputCheckText> rows = DescribeChecks(last.verification);
    checks_->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < checks_->rowCount(); ++row) {
        const OutputCheckText& check = rows[static_cast<std::size_t>(row)];
        checks_->setItem(row, kOutput, Cell(check.output));
        checks_->setItem(row, kRmsBefore, Cell(check.rmsBefore));
        checks_->setItem(row, kRmsAfter, Cell(check.rmsAfter));
        checks_->setItem(row, kMiss, Cell(check.miss));
    }
    checks_->resizeColumnsToContents();
    QStringList lines;
    if (const std::string atPosition = ChecksPositionText(last.positions); !atPosition.empty())
        lines << QString::fromStdString(atPosition);
    for (const std::string& finding : VerificationFindings(last.verification, last.proposal.region))
        lines << QString::fromStdString(finding);
    for (const std::string& position : SpatialVerificationTexts(last.positions)) lines << QString::fromStdString(position);
    for (const std::string& shortfall : outcome_->shortfalls) lines << QString::fromStdString(shortfall);
    findings_->setText(lines.join(QLatin1Char('\n')));
}

bool CTuneWindow::WriteReport(const QString& path)
{
    if (!start_) return false;
    const AppliedPass* last = outcome_ ? &outcome_->passes.back() : nullptr;
    const std::vector<SystemMeasurement> predicted =
        last ? last->predictedPositions : PredictedAtPositions(*start_, start_->proposal.setting);
    TuneReportContent content;
    content.heading = {QStringLiteral("System tuning"),
                       QStringLiteral("The unit, measured %1").arg(QDateTime::currentDateTime().toString(
                           QStringLiteral("yyyy-MM-dd HH:mm")))};
    content.before = &start_->setting;
    content.after = last ? &last->applied : &start_->setting;
    content.proposal = &start_->proposal;
    content.applied = applied_;
    content.measurements = {start_->measurements, predicted,
                            last ? std::span(last->afterPositions) : std::span<const SystemMeasurement>(),
                            start_->proposal.region};
    content.verification = last ? &last->verification : nullptr;
    content.positions = last && !last->positions.positions.empty() ? &last->positions : nullptr;
    content.verifiedRegion = last ? last->proposal.region : start_->proposal.region;
    content.passes = outcome_ ? static_cast<int>(outcome_->passes.size()) : 0;
    if (!WriteTuneReport(path, content)) {
        status_.Say(QStringLiteral("The report could not be written to %1.").arg(path), true);
        return false;
    }
    status_.Say(QStringLiteral("Report written to %1.").arg(path));
    return true;
}

void CTuneWindow::AskAndWriteReport()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Tune report - Quenbar"),
                                                      QStringLiteral("tune-report.pdf"),
                                                      QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty()) WriteReport(path);
}

void CTuneWindow::UpdateButtons()
{
    const bool running = run_ != nullptr;
    measure_->setEnabled(!running);
    apply_->setEnabled(!running && start_ && !outcome_);
    cancel_->setEnabled(running);
    report_->setEnabled(!running && start_);
    sweep_->SetRunning(running);
    subOffset_->setEnabled(!running);
    maxRise_->setEnabled(!running);
    positions_->setEnabled(!running);
    proposal_->setEnabled(!running);
}
