#include "live/LiveWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <stdexcept>

#include "WatchJson.h"
#include "app/EditHistory.h"
#include "graph/TuningFiles.h"
#include "live/LiveGraph.h"
#include "live/LiveProposalBox.h"
#include "live/LiveRun.h"
#include "tuning/TuningText.h"

namespace {

// The spin boxes' top channel: the stream itself says when the device has
// fewer.
constexpr int kHighestChannel = 64;

QSpinBox* ChannelBox(QWidget* parent, const char* name, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(1, kHighestChannel);
    box->setValue(value);
    return box;
}

QLabel* ShownLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString SecondsText(double seconds) { return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1); }

}  // namespace

CLiveWindow::CLiveWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), moves_(TheEditHistory().Steps())
{
    setWindowTitle(QStringLiteral("Live - Quenbar"));
    graph_ = new LiveGraph(this);
    graph_->setObjectName(QStringLiteral("liveCurve"));
    alarms_ = new QListWidget(this);
    alarms_->setObjectName(QStringLiteral("alarms"));
    edits_ = new QListWidget(this);
    edits_->setObjectName(QStringLiteral("edits"));

    auto* lists = new QHBoxLayout;
    auto* alarms = new QVBoxLayout;
    alarms->addWidget(new QLabel(QStringLiteral("Alarms:"), this));
    alarms->addWidget(alarms_);
    auto* edits = new QVBoxLayout;
    edits->addWidget(new QLabel(QStringLiteral("Edits (stream time):"), this));
    edits->addWidget(edits_);
    lists->addLayout(alarms, 2);
    lists->addLayout(edits, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(graph_, 3);
    right->addLayout(lists, 1);
    LayOutBesideControls(this, MakeInputsBox(), MakeRunBox(), right);

    connect(&TheEditHistory(), &EditHistory::changed, this, &CLiveWindow::MarkHistoryMove);
    UpdateButtons();
}

CLiveWindow::~CLiveWindow() = default;

QWidget* CLiveWindow::MakeInputsBox()
{
    auto* box = new QGroupBox(QStringLiteral("Inputs"), this);
    auto* form = new QFormLayout(box);
    const WatchSettings defaults;
    record_ = new QComboBox(box);
    record_->setObjectName(QStringLiteral("record"));
    try {
        AddDevices(record_, ListAudioDevices(), AudioDirection::Input);
    } catch (const AudioError& error) {
        // Start then says so again, with the default device.
        record_->setToolTip(QString::fromStdString(error.what()));
    }
    form->addRow(QStringLiteral("&Record:"), record_);
    microphone_ = ChannelBox(box, "microphoneChannel", defaults.microphoneChannel);
    form->addRow(QStringLiteral("&Microphone channel:"), microphone_);
    reference_ = ChannelBox(box, "referenceChannel", defaults.referenceChannel);
    reference_->setToolTip(QStringLiteral("The input that takes the feed to the unit"));
    form->addRow(QStringLiteral("R&eference channel:"), reference_);
    rate_ = new QSpinBox(box);
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setRange(kLeastWatchRate, kMostWatchRate);
    rate_->setSuffix(QStringLiteral(" Hz"));
    rate_->setValue(defaults.rate);
    form->addRow(QStringLiteral("R&ate:"), rate_);
    average_ = new QDoubleSpinBox(box);
    average_->setObjectName(QStringLiteral("average"));
    average_->setRange(kLeastAverageSeconds, kMostAverageSeconds);
    average_->setDecimals(1);
    average_->setSingleStep(0.1);
    average_->setSuffix(QStringLiteral(" s"));
    average_->setValue(defaults.averageSeconds);
    form->addRow(QStringLiteral("A&veraging:"), average_);
    return box;
}

QWidget* CLiveWindow::MakeRunBox()
{
    auto* box = new QGroupBox(QStringLiteral("Watch"), this);
    auto* form = new QFormLayout(box);
    start_ = MakeButton(box, QStringLiteral("&Start"), "start");
    stop_ = MakeButton(box, QStringLiteral("S&top"), "stop");
    keep_ = MakeButton(box, QStringLiteral("&Keep as the stored trace"), "keep");
    connect(start_, &QPushButton::clicked, this, &CLiveWindow::StartWatching);
    connect(stop_, &QPushButton::clicked, this, &CLiveWindow::StopWatching);
    open_ = MakeButton(box, QStringLiteral("&Open a stored trace..."), "openStored");
    connect(keep_, &QPushButton::clicked, this, &CLiveWindow::KeepAsStored);
    connect(open_, &QPushButton::clicked, this, [this] {
        const QString path = AskOpenFileName(this, QStringLiteral("Open a stored trace"),
                                             QStringLiteral("Measurements and live traces (*.txt *.frd *.csv);;All files (*)"));
        if (!path.isEmpty()) OpenStored(path);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    form->addRow(buttons);
    form->addRow(keep_);
    form->addRow(open_);
    delay_ = ShownLabel(box, "delay");
    form->addRow(QStringLiteral("Delay:"), delay_);
    coherent_ = ShownLabel(box, "coherent");
    form->addRow(QStringLiteral("Coherent:"), coherent_);
    status_.AddMessage(box, form);
    proposal_ = new LiveProposalBox(box, look_, stored_);
    connect(proposal_, &LiveProposalBox::predicted, graph_, &LiveGraph::SetPredicted);
    form->addRow(proposal_);
    return box;
}

WatchSettings CLiveWindow::Settings() const
{
    WatchSettings settings;
    settings.recordDevice = record_->currentData().toString().toStdString();
    settings.microphoneChannel = microphone_->value();
    settings.referenceChannel = reference_->value();
    settings.rate = rate_->value();
    settings.averageSeconds = average_->value();
    return settings;
}

bool CLiveWindow::StartWatching()
{
    if (run_) return false;
    try {
        run_ = std::make_unique<LiveRun>(Settings());
    } catch (const std::invalid_argument& error) {
        status_.Say(QString::fromStdString(error.what()), true);
        return false;
    } catch (const AudioError& error) {
        status_.Say(QString::fromStdString(error.what()), true);
        return false;
    }
    run_->SetStored(stored_);
    connect(run_.get(), &LiveRun::looked, this, &CLiveWindow::Show);
    connect(run_.get(), &LiveRun::failed, this, &CLiveWindow::Fail);
    look_.reset();
    looksShown_ = 0;
    alarms_->clear();
    edits_->clear();
    status_.Say(QStringLiteral("Watching: looking for the delay..."));
    UpdateButtons();
    emit watchingChanged(true);
    return true;
}

void CLiveWindow::StopWatching()
{
    if (!run_) return;
    run_.reset();
    status_.Say(QStringLiteral("Stopped."));
    UpdateButtons();
    emit watchingChanged(false);
}

void CLiveWindow::closeEvent(QCloseEvent* event)
{
    StopWatching();
    event->accept();
}

void CLiveWindow::Show(const WatchLook& look)
{
    if (!run_) return;  // a look queued before the watch stopped
    look_ = look;
    ++looksShown_;
    graph_->Show(look.trace, look.storedOffsetDb.value_or(0.0));
    delay_->setText(look.delaySeconds ? QStringLiteral("%1 ms").arg(*look.delaySeconds * 1000.0, 0, 'f', 2)
                                      : QStringLiteral("looking for it"));
    coherent_->setText(QStringLiteral("%1% after %2").arg(look.coherentShare * 100.0, 0, 'f', 0).arg(SecondsText(look.seconds)));
    const int alarmsBefore = alarms_->count();
    alarms_->clear();
    for (const WatchAlarm& alarm : look.alarms) alarms_->addItem(QString::fromStdString(alarm.text));
    if (alarms_->count() != alarmsBefore)
        status_.Say(alarms_->count() > 0 ? QStringLiteral("Alarms: %1, listed below.").arg(alarms_->count())
                                 : QStringLiteral("No alarm now."),
            alarms_->count() > 0);
    ShowEdits(look.edits);
    UpdateButtons();
}

void CLiveWindow::ShowEdits(const std::vector<WatchEdit>& edits)
{
    for (auto i = static_cast<std::size_t>(edits_->count()); i < edits.size(); ++i)
        edits_->addItem(QStringLiteral("%1  %2").arg(SecondsText(edits[i].seconds), QString::fromStdString(edits[i].what)));
}

void CLiveWindow::Fail(const QString& why)
{
    run_.reset();
    status_.Say(why, true);
    UpdateButtons();
    emit watchingChanged(false);
}

void CLiveWindow::MarkHistoryMove()
{
    const std::optional<std::string> move = moves_.Next(TheEditHistory().Steps());
    if (move && run_) run_->MarkEdit(*move);
}

bool CLiveWindow::KeepAsStored()
{
    const std::string text = look_ ? LiveTraceText(*look_) : std::string();
    if (text.empty()) {
        status_.Say(QStringLiteral("Nothing was kept: no point of the live curve is coherent yet."), true);
        return false;
    }
    try {
        UseStored(ParseLevelCurve(text), QStringLiteral("The live curve is kept as the stored trace: alarms compare with it."));
    } catch (const TuningFileError& error) {
        status_.Say(QStringLiteral("Nothing was kept: %1.").arg(QString::fromStdString(error.what())), true);
        return false;
    }
    return true;
}

bool CLiveWindow::OpenStored(const QString& path)
{
    const std::optional<std::string> text = ReadTextFile(this, path);
    if (!text) return false;
    const QString name = QFileInfo(path).fileName();
    try {
        UseStored(ParseLevelCurve(*text), QStringLiteral("%1 is the stored trace: alarms compare with it.").arg(name));
    } catch (const TuningFileError& error) {
        status_.Say(QStringLiteral("%1 cannot be the stored trace: %2.").arg(name, QString::fromStdString(error.what())), true);
        return false;
    }
    return true;
}

void CLiveWindow::UseStored(LevelCurve stored, const QString& said)
{
    stored_ = std::move(stored);
    if (run_) run_->SetStored(stored_);
    graph_->SetStored(stored_);
    status_.Say(said);
}

void CLiveWindow::UpdateButtons()
{
    const bool watching = run_ != nullptr;
    start_->setEnabled(!watching);
    stop_->setEnabled(watching);
    keep_->setEnabled(watching && look_.has_value());
    for (QWidget* control : std::initializer_list<QWidget*>{record_, microphone_, reference_, rate_, average_})
        control->setEnabled(!watching);
    proposal_->SetWatching(watching);
}
