#include "dialogs/DlgXover.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

#include "app/DialogUnits.h"
#include "app/EditHistory.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "dialogs/FormLayout.h"
#include "dialogs/KeyHook.h"
#include "dialogs/ScrollNotifier.h"
#include "link/ParameterMessages.h"
#include "model/Scales.h"

namespace {

// Shared by every crossover dialog of the run.
SendThinner frequencyThinner;

}  // namespace

CDlgXover::CDlgXover(int side, QWidget* parent) : QDialog(parent), side_(side == kLowPass ? kLowPass : kHighPass)
{
    setWindowTitle(QStringLiteral("XOVER"));
    setFont(DialogFont());
    Build();
    for (int type = 0; type < kOfferedTypes; ++type) types_->addItem(QString::fromLatin1(FilterTypeNames[type]));
    (side_ == kHighPass ? highPassButton_ : lowPassButton_)->setChecked(true);
    Refresh();
    EditHistory::AddCommandsTo(this);
    // An undo, a redo or an A/B switch while the dialog shows: it shows the setting they left.
    connect(&TheEditHistory(), &EditHistory::settingRestored, this, &CDlgXover::Refresh);
}

void CDlgXover::Build()
{
    setFixedSize(DialogUnitsToPixels(405, 152, font()));
    types_ = Place(new QListWidget(this), 7, 7, 110, 138);
    connect(types_, &QListWidget::itemSelectionChanged, this, &CDlgXover::OnTypeSelected);
    AddFrame(this, "Frequency", 125, 7, 273, 72);
    freqBar_ = Place(new QScrollBar(Qt::Horizontal, this), 133, 22, 257, 11);
    freqBar_->setPageStep(5);
    connect(new ScrollNotifier(freqBar_), &ScrollNotifier::scrolled, this, &CDlgXover::OnFrequencyScroll);
    freqLeft_ = AddLabel(this, "HP", 133, 36, 60, 8);
    freqRight_ = AddLabel(this, "HP", 330, 36, 60, 8, Qt::AlignRight);
    freqEdit_ = Place(new QLineEdit(this), 231, 52, 60, 12);

    highPassButton_ = Place(new QPushButton(QStringLiteral("High Pass"), this), 133, 92, 60, 16);
    lowPassButton_ = Place(new QPushButton(QStringLiteral("Low Pass"), this), 201, 92, 60, 16);
    auto* sides = new QButtonGroup(this);
    for (QPushButton* button : {highPassButton_, lowPassButton_}) {
        button->setCheckable(true);
        button->setAutoDefault(false);
        sides->addButton(button);
    }
    connect(highPassButton_, &QPushButton::clicked, this, [this] { OnSideClicked(kHighPass); });
    connect(lowPassButton_, &QPushButton::clicked, this, [this] { OnSideClicked(kLowPass); });

    auto* exitButton = Place(new QPushButton(QStringLiteral("EXIT"), this), 338, 129, 60, 16);
    exitButton->setDefault(true);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::accept);
    const std::pair<QObject*, const char*> named[] = {
        {types_, "types"},       {freqBar_, "freqBar"},         {freqLeft_, "freqLeft"},    {freqRight_, "freqRight"},
        {freqEdit_, "freqEdit"}, {highPassButton_, "highPass"}, {lowPassButton_, "lowPass"}};
    for (const auto& [control, name] : named) control->setObjectName(QString::fromLatin1(name));
    new KeyHook(this, {.swallowHomeAndEnd = false, .swallowContextMenus = true}, [this](QObject* focused) {
        if (focused == freqEdit_) OnTypedFrequency();
    });
}

int CDlgXover::Slot() const { return model.curChannel == kSlotSub ? kSlotSub : kSlotLeftRight; }

int& CDlgXover::Type() const { return side_ == kHighPass ? model.hpfType[Slot()] : model.lpfType[Slot()]; }

int& CDlgXover::Frequency() const { return side_ == kHighPass ? model.hpfFreq[Slot()] : model.lpfFreq[Slot()]; }

StepRange CDlgXover::Range() const { return side_ == kHighPass ? highPassRange_ : lowPassRange_; }

void CDlgXover::Refresh()
{
    highPassRange_ = HighPassRange(model.lpfFreq[Slot()]);
    lowPassRange_ = LowPassRange(model.hpfFreq[Slot()]);
    const StepRange range = Range();
    freqLeft_->setText(QString::fromLatin1(FreqLabelAt(range.min)));
    freqRight_->setText(QString::fromLatin1(FreqLabelAt(range.max)));
    {
        const QSignalBlocker blocker(freqBar_);
        freqBar_->setRange(range.min, range.max);
    }
    SetFrequency(Frequency());
    const QSignalBlocker blocker(types_);
    // A type the list does not offer (only the unit can set one) selects nothing.
    const int type = Type();
    types_->clearSelection();
    types_->setCurrentRow(type >= 0 && type < kOfferedTypes ? type : -1);
}

void CDlgXover::SetFrequency(int step)
{
    freqEdit_->setText(QString::fromLatin1(FreqLabelAt(step)));
    const QSignalBlocker blocker(freqBar_);
    freqBar_->setValue(step);
}

void CDlgXover::SendSide()
{
    const bool sub = Slot() == kSlotSub;
    if (side_ == kHighPass)
        SendEdit(sub ? PID_SUB_HPF : PID_LR_HPF);
    else
        SendEdit(sub ? PID_SUB_LPF : PID_LR_LPF);
}

void CDlgXover::OnSideClicked(int side)
{
    side_ = side;
    Refresh();
}

void CDlgXover::OnTypeSelected()
{
    const QList<QListWidgetItem*> selected = types_->selectedItems();
    if (selected.isEmpty()) return;
    Type() = types_->row(selected.front());
    SendSide();
}

void CDlgXover::OnFrequencyScroll(ScrollCode code, int position)
{
    const bool send = frequencyThinner.ShouldSend(code);
    const StepRange range = Range();
    int& frequency = Frequency();
    if (code == ScrollCode::ThumbTrack || code == ScrollCode::ThumbRelease)
        frequency = position;
    else
        frequency = std::clamp(frequency + ScrollStep(code), range.min, range.max);
    SetFrequency(frequency);
    if (send)
        SendSide();
    else
        NotifyModelChanged();  // a step left unsent still changes the curve
    freqBar_->setFocus();
}

void CDlgXover::OnTypedFrequency()
{
    const int step = XoverFrequencyFromText(freqEdit_->text().toStdString(), Range());
    Frequency() = step;
    SetFrequency(step);
    SendSide();
}
