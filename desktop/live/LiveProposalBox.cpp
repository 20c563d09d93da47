#include "live/LiveProposalBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <limits>

#include "app/EditHistory.h"
#include "app/UnitLink.h"
#include "history/SettingChanges.h"
#include "measure/SweepBox.h"

namespace {

ResponseCurve PredictedLevels(const FitResult& fit)
{
    ResponseCurve levels;
    levels.fill(std::numeric_limits<double>::quiet_NaN());
    for (int k = fit.firstStep; k <= fit.lastStep; ++k)
        levels[static_cast<std::size_t>(k)] = fit.predicted[static_cast<std::size_t>(k - fit.firstStep)];
    return levels;
}

}  // namespace

LiveProposalBox::LiveProposalBox(QWidget* parent, const std::optional<WatchLook>& look,
                                 const std::optional<LevelCurve>& stored)
    : QGroupBox(QStringLiteral("Proposal"), parent), look_(look), stored_(stored)
{
    auto* form = new QFormLayout(this);
    output_ = new QComboBox(this);
    output_->setObjectName(QStringLiteral("output"));
    for (const int slot : {kSlotLeftRight, kSlotSub}) output_->addItem(QString::fromLatin1(ChannelCaption(slot)), slot);
    form->addRow(QStringLiteral("O&utput:"), output_);
    propose_ = MakeButton(this, QStringLiteral("&Propose PEQ"), "propose");
    apply_ = MakeButton(this, QStringLiteral("A&pply"), "apply");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(propose_);
    buttons->addWidget(apply_);
    form->addRow(buttons);
    words_ = new QLabel(this);
    words_->setObjectName(QStringLiteral("proposal"));
    words_->setWordWrap(true);
    words_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(words_);
    connect(propose_, &QPushButton::clicked, this, &LiveProposalBox::Propose);
    connect(apply_, &QPushButton::clicked, this, &LiveProposalBox::Apply);
    connect(&fit_, &QFutureWatcher<LiveProposalOutcome>::finished, this, &LiveProposalBox::Fitted);
    UpdateButtons();
}

LiveProposalBox::~LiveProposalBox() { fit_.waitForFinished(); }

bool LiveProposalBox::Propose()
{
    if (fit_.isRunning()) return false;
    if (!look_) {
        Say(QStringLiteral("No live curve yet: nothing to propose."));
        return false;
    }
    Forget();
    fit_.setFuture(QtConcurrent::run([trace = look_->trace, stored = stored_, setting = model,
                                      slot = output_->currentData().toInt()] {
        return ProposeFromLive(trace, stored, setting, slot);
    }));
    Say(QStringLiteral("Fitting..."));
    UpdateButtons();
    return true;
}

void LiveProposalBox::Fitted()
{
    if (!watching_) return Say({});  // stopped while it fitted
    LiveProposalOutcome outcome = fit_.result();
    proposal_ = std::move(outcome.proposal);
    Say(QString::fromStdString(proposal_ ? LiveProposalWords(*proposal_) : outcome.refused));
    emit predicted(proposal_ ? std::optional(PredictedLevels(proposal_->fit)) : std::nullopt);
    UpdateButtons();
}

bool LiveProposalBox::Apply()
{
    if (!proposal_) {
        Say(QStringLiteral("There is no proposal to apply: propose one first."));
        return false;
    }
    if (!SameSetting(proposal_->from, model)) {
        Forget();
        Say(QStringLiteral("The setting has changed since the proposal was made: propose again before applying."));
        return false;
    }
    const QString label = QString::fromStdString(LiveProposalLabel(proposal_->slot));
    const ParameterModel target = proposal_->to;
    Forget();
    TheEditHistory().Apply(target, label);
    Say(QStringLiteral("Applied as one step: %1").arg(label));
    return true;
}

void LiveProposalBox::Forget()
{
    if (!proposal_) return;
    proposal_.reset();
    emit predicted(std::nullopt);
    UpdateButtons();
}

void LiveProposalBox::SetWatching(bool watching)
{
    watching_ = watching;
    if (!watching) Forget();
    UpdateButtons();
}

void LiveProposalBox::Say(const QString& text) { words_->setText(text); }

void LiveProposalBox::UpdateButtons()
{
    propose_->setEnabled(watching_ && !fit_.isRunning());
    apply_->setEnabled(watching_ && proposal_.has_value());
}
