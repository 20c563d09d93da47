#include "dialogs/DlgOutput.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

#include "app/DialogUnits.h"
#include "app/EditHistory.h"
#include "app/UnitLink.h"
#include "app/controls/FrameButton.h"
#include "dialogs/DlgPeq.h"
#include "dialogs/DlgXover.h"
#include "dialogs/FormLayout.h"
#include "dialogs/KeyHook.h"
#include "dialogs/UpDown.h"
#include "graph/ResponseGraph.h"
#include "link/ParameterMessages.h"
#include "model/Scales.h"

namespace {

constexpr int kGraphPeriodMs = 800;
constexpr int kUpDownWidth = 11;  // dialog units taken from the right of its buddy

QCheckBox* AddCheckBox(QWidget* page, const char* text, int x, int y, int w, int h)
{
    auto* box = new QCheckBox(QString::fromLatin1(text), page);
    PlaceInDialogUnits(box, x, y, w, h);
    return box;
}

CFrameButton* AddValueButton(QWidget* page, const char* caption, int x, int y, int w, int h)
{
    auto* button = new CFrameButton(QString::fromLatin1(caption), page);
    button->setFlat(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(false);
    PlaceInDialogUnits(button, x, y, w, h);
    return button;
}

// An edit box with its up-down at the box's right edge.
std::pair<QLineEdit*, CUpDown*> AddSpinEdit(QWidget* page, int x, int y, int w, int h)
{
    auto* edit = new QLineEdit(page);
    edit->setAlignment(Qt::AlignRight);
    PlaceInDialogUnits(edit, x, y, w - kUpDownWidth, h);
    auto* upDown = new CUpDown(page);
    PlaceInDialogUnits(upDown, x + w - kUpDownWidth, y, kUpDownWidth, h);
    upDown->SetBuddy(edit);
    return {edit, upDown};
}

void SetChecked(QCheckBox* box, int value) { box->setChecked(value != 0); }

}  // namespace

CDlgOutput::CDlgOutput(int slot, const QString& title, QWidget* parent)
    : QWidget(parent), slot_(slot), title_(title.left(79))
{
    setFont(DialogFont());
    resize(DialogUnitsToPixels(475, 261, font()));
    graphRect_ = DialogUnitsToPixels(8, 6, 324, 151, font());
    BuildCrossoverGroup();
    BuildPeqGroup();
    BuildLevelGroup();
    BuildLimiterGroup();
    BuildDelayGroup();
    NameControls();
    new KeyHook(this, {.swallowHomeAndEnd = true, .swallowContextMenus = false},
                [this](QObject* focused) { OnEnter(focused); });
    graphTimer_.setInterval(kGraphPeriodMs);
    connect(&graphTimer_, &QTimer::timeout, this, &CDlgOutput::RedrawGraph);
    // An undo or redo while the page shows: it shows the setting it left.
    connect(&TheEditHistory(), &EditHistory::settingRestored, this, [this] {
        if (isVisible()) {
            Activate();
            RedrawGraph();
        }
    });
}

void CDlgOutput::BuildCrossoverGroup()
{
    AddFrame(this, "", 12, 163, 128, 79);
    AddLabel(this, "High Pass", 16, 176, 48, 12, Qt::AlignHCenter);
    AddLabel(this, "Low Pass", 16, 206, 48, 12, Qt::AlignHCenter);
    for (int i = 0; i < 4; ++i) {
        crossoverButtons_[i] = AddValueButton(this, "XOVER", 68, 176 + 15 * i, 67, 12);
        connect(crossoverButtons_[i], &QPushButton::clicked, this, [this, i] { OnCrossoverButton(i / 2); });
    }
    crossoverOn_ = AddCheckBox(this, "ON", 16, 223, 45, 8);
    connect(crossoverOn_, &QCheckBox::clicked, this, [this](bool checked) {
        model.xoverOn[slot_] = checked ? 1 : 0;
        if (slot_ == kSlotLeftRight) SendEdit(PID_LR_XOVER_ON);
        RedrawGraph();
    });
}

void CDlgOutput::BuildPeqGroup()
{
    AddFrame(this, "", 146, 163, 183, 79);
    AddLabel(this, "FREQ", 153, 163, 43, 11, Qt::AlignHCenter);
    AddLabel(this, "GAIN", 200, 163, 43, 11, Qt::AlignHCenter);
    AddLabel(this, "BandWidth", 247, 162, 43, 11, Qt::AlignHCenter);
    const int buttonRows[] = {181, 200, 219};
    const int flatRows[] = {185, 204, 221};
    for (int b = 0; b < 3; ++b) {
        BandRow& row = bands_[b];
        row.freq = AddValueButton(this, "FREQ", 153, buttonRows[b], 43, 12);
        row.gain = AddValueButton(this, "GAIN", 200, buttonRows[b], 43, 12);
        row.q = AddValueButton(this, "Q", 247, buttonRows[b], 43, 12);
        row.flat = AddCheckBox(this, "FLAT", 294, flatRows[b], 30, 8);
        for (CFrameButton* button : {row.freq, row.gain, row.q})
            connect(button, &QPushButton::clicked, this, [this, b] { OnBandButton(b); });
        connect(row.flat, &QCheckBox::clicked, this, [this, b](bool checked) { OnFlatClicked(b, checked); });
    }
}

void CDlgOutput::BuildLevelGroup()
{
    AddFrame(this, "", 336, 3, 54, 238);
    level_ = new QSlider(Qt::Vertical, this);
    level_->setInvertedAppearance(true);  // the top end is the loudest
    level_->setInvertedControls(true);
    level_->setTickPosition(QSlider::TicksLeft);
    PlaceInDialogUnits(level_, 363, 17, 21, 163);
    connect(level_, &QSlider::valueChanged, this, &CDlgOutput::OnLevelMoved);
    const char* const scale[] = {"6.0", "0.0", "-10.0", "-20.0", "-30.0", "-40.0", "-50.0", "-60.0"};
    const int scaleRows[] = {22, 35, 58, 79, 103, 123, 144, 165};
    for (int i = 0; i < 8; ++i) AddLabel(this, scale[i], 338, scaleRows[i], 24, 8, Qt::AlignRight);
    levelEdit_ = new QLineEdit(this);
    levelEdit_->setAlignment(Qt::AlignRight);
    PlaceInDialogUnits(levelEdit_, 341, 196, 44, 12);
    mute_ = AddCheckBox(this, "MUTE", 345, 213, 29, 14);
    connect(mute_, &QCheckBox::clicked, this, [this](bool checked) {
        model.mute[slot_] = checked ? 1 : 0;
        Send(PID_LR_MUTE, PID_SUB_MUTE);
    });
    polarity_ = AddCheckBox(this, "180", 345, 229, 26, 9);
    connect(polarity_, &QCheckBox::clicked, this, [this](bool checked) {
        model.polarity[slot_] = checked ? 1 : 0;
        Send(PID_LR_PHASE, PID_SUB_PHASE);
    });
}

CDlgOutput::LimiterTime CDlgOutput::AddLimiterTime(const char* label, int y, bool shown)
{
    QLabel* caption = AddLabel(this, label, 403, y - 10, 58, 8);
    auto [edit, upDown] = AddSpinEdit(this, 403, y, 58, 12);
    upDown->SetRange(1, 100);
    for (QWidget* widget : {static_cast<QWidget*>(caption), static_cast<QWidget*>(edit), static_cast<QWidget*>(upDown)})
        widget->setVisible(shown);
    return {edit, upDown};
}

void CDlgOutput::BuildLimiterGroup()
{
    AddFrame(this, "Limit", 397, 4, 71, 101);
    AddLabel(this, "Threshold", 403, 25, 58, 8);
    std::tie(thresholdEdit_, thresholdUpDown_) = AddSpinEdit(this, 403, 35, 58, 12);
    thresholdUpDown_->SetRange(-kThresholdStepMax, -kThresholdStepOff);
    connect(thresholdUpDown_, &CUpDown::positionChanging, this, &CDlgOutput::OnThresholdStep);
    attack_ = AddLimiterTime("Attack Time", 56, false);
    hold_ = AddLimiterTime("Hold Time", 77, true);
    decay_ = AddLimiterTime("Decay Time", 98, false);
    connect(hold_.upDown, &CUpDown::positionChanging, this, &CDlgOutput::OnHoldStep);
}

void CDlgOutput::BuildDelayGroup()
{
    AddFrame(this, "Delay", 395, 137, 71, 85);
    const int rows[] = {156, 178, 201};
    for (int i = 0; i < 3; ++i) {
        std::tie(delayEdits_[i], delayUpDowns_[i]) = AddSpinEdit(this, 402, rows[i], 58, 12);
        delayUpDowns_[i]->SetRange(0, kDelayStepMax);
        connect(delayUpDowns_[i], &CUpDown::positionChanging, this, &CDlgOutput::OnDelayStep);
    }
}

// Names by which the controls can be found (tests, accessibility).
void CDlgOutput::NameControls()
{
    const std::pair<QObject*, const char*> named[] = {{level_, "level"},
                                                      {levelEdit_, "levelEdit"},
                                                      {mute_, "mute"},
                                                      {polarity_, "polarity"},
                                                      {thresholdEdit_, "thresholdEdit"},
                                                      {thresholdUpDown_, "thresholdUpDown"},
                                                      {hold_.edit, "holdEdit"},
                                                      {hold_.upDown, "holdUpDown"},
                                                      {crossoverOn_, "on"},
                                                      {delayEdits_[0], "delayMsEdit"},
                                                      {delayEdits_[1], "delayMetresEdit"},
                                                      {delayEdits_[2], "delayFeetEdit"},
                                                      {delayUpDowns_[0], "delayMsUpDown"},
                                                      {delayUpDowns_[1], "delayMetresUpDown"},
                                                      {delayUpDowns_[2], "delayFeetUpDown"}};
    for (const auto& [control, name] : named) control->setObjectName(QString::fromLatin1(name));
    for (int i = 0; i < 4; ++i) crossoverButtons_[i]->setObjectName(QStringLiteral("xover%1").arg(i));
    for (int b = 0; b < 3; ++b) {
        bands_[b].freq->setObjectName(QStringLiteral("freq%1").arg(b));
        bands_[b].gain->setObjectName(QStringLiteral("gain%1").arg(b));
        bands_[b].q->setObjectName(QStringLiteral("q%1").arg(b));
        bands_[b].flat->setObjectName(QStringLiteral("flat%1").arg(b));
    }
}

void CDlgOutput::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) Activate();
}

void CDlgOutput::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous()) Deactivate();
}

void CDlgOutput::Activate()
{
    model.curChannel = slot_;
    RefreshBands();
    {
        const QSignalBlocker blocker(level_);
        level_->setRange(-12, 120);
        level_->setSingleStep(1);
        level_->setPageStep(1);
        level_->setTickInterval(3);
        level_->setValue(kGainStepZero - model.gain[slot_]);
    }
    levelText_ = ToQString(GainText(model.gain[slot_]));
    SetChecked(polarity_, model.polarity[slot_]);
    SetChecked(mute_, model.mute[slot_]);
    thresholdUpDown_->SetPosition(-model.limThreshold[slot_]);
    thresholdEdit_->setText(ToQString(ThresholdText(model.limThreshold[slot_])));
    const std::pair<LimiterTime*, int> times[] = {
        {&attack_, model.limAttack[slot_]}, {&hold_, model.limHold[slot_]}, {&decay_, model.limDecay[slot_]}};
    for (const auto& [time, step] : times) {
        time->upDown->SetPosition(step);
        time->edit->setText(ToQString(LimiterTimeText(step)));
    }
    for (CUpDown* upDown : delayUpDowns_) upDown->SetPosition(model.delay[slot_]);
    RefreshDelayTexts();
    RefreshCrossover();
    graphTimer_.start();
    PushData();
}

void CDlgOutput::Deactivate()
{
    graphTimer_.stop();
    levelText_ = levelEdit_->text();
}

void CDlgOutput::RefreshBands()
{
    const int slot = model.curChannel;
    for (int b = 0; b < 3; ++b) {
        const int j = PeqIndex(slot, b);
        bands_[b].freq->setText(QString::fromLatin1(FreqLabelAt(model.peqFreq[j])));
        bands_[b].gain->setText(ToQString(PeqGainText(model.peqGain[j])));
        bands_[b].q->setText(ToQString(BandwidthText(model.peqBandwidth[j], model.peqHiShelf[j], model.peqLoShelf[j])));
        SetChecked(bands_[b].flat, model.peqFlat[j]);
    }
}

void CDlgOutput::RefreshCrossover()
{
    crossoverButtons_[0]->setText(QString::fromLatin1(FreqLabelAt(model.hpfFreq[slot_])));
    crossoverButtons_[1]->setText(QString::fromLatin1(FilterTypeNameAt(model.hpfType[slot_])));
    crossoverButtons_[2]->setText(QString::fromLatin1(FreqLabelAt(model.lpfFreq[slot_])));
    crossoverButtons_[3]->setText(QString::fromLatin1(FilterTypeNameAt(model.lpfType[slot_])));
    SetChecked(crossoverOn_, model.xoverOn[slot_]);
    crossoverOn_->setVisible(slot_ == kSlotLeftRight);
    PushData();
}

void CDlgOutput::RefreshDelayTexts()
{
    const int delay = model.delay[slot_];
    delayEdits_[0]->setText(ToQString(DelayMsText(delay)));
    delayEdits_[1]->setText(ToQString(DelayMetresText(delay)));
    delayEdits_[2]->setText(ToQString(DelayFeetText(delay)));
}

void CDlgOutput::PushData() { levelEdit_->setText(levelText_); }

void CDlgOutput::RedrawGraph() { update(graphRect_); }

void CDlgOutput::Send(int leftRightId, int subId) { SendEdit(slot_ == kSlotSub ? subId : leftRightId); }

void CDlgOutput::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawResponseGraph(painter, model, slot_, graphRect_, curvePen_);
}

void CDlgOutput::OnLevelMoved(int position)
{
    levelText_ = ToQString(GainText(kGainStepZero - position));
    model.gain[slot_] = GainFromLevelPosition(position);
    Send(PID_LR_GAIN, PID_SUB_GAIN);
    PushData();
}

void CDlgOutput::SetLevelPosition(int position)
{
    const QSignalBlocker blocker(level_);
    level_->setValue(position);
}

void CDlgOutput::SetDelay(int delay)
{
    model.delay[slot_] = delay;
    SendEdit(PID_DELAY);
    RefreshDelayTexts();
    for (CUpDown* upDown : delayUpDowns_) upDown->SetPosition(delay);
}

void CDlgOutput::OnDelayStep(int position, int change) { SetDelay(DelayFromUpDown(position, change)); }

void CDlgOutput::OnThresholdStep(int position, int change)
{
    const int threshold = ThresholdFromUpDown(position, change);
    model.limThreshold[slot_] = threshold;
    thresholdEdit_->setText(ToQString(ThresholdText(threshold)));
    Send(PID_LR_LIMIT_THRESHOLD, PID_SUB_LIMIT_THRESHOLD);
    PushData();
}

void CDlgOutput::OnHoldStep(int position, int change)
{
    const int hold = HoldFromUpDown(position, change);
    model.limHold[slot_] = hold;
    hold_.edit->setText(ToQString(LimiterTimeText(hold)));
    Send(PID_LR_LIMIT_HOLD, PID_SUB_LIMIT_HOLD);
    PushData();
}

void CDlgOutput::OnFlatClicked(int band, bool checked)
{
    model.curBand = band;
    model.peqFlat[PeqIndex(slot_, band)] = checked ? 1 : 0;
    SendEdit(PID_PEQ_FLAT);
}

void CDlgOutput::OnBandButton(int band)
{
    model.curBand = band;
    model.curChannel = slot_;
    CDlgPeq dialog;
    dialog.exec();
    RefreshBands();
}

void CDlgOutput::OnCrossoverButton(int side)
{
    CDlgXover dialog(side);
    dialog.exec();
    RefreshCrossover();
    RedrawGraph();
}

void CDlgOutput::OnEnter(QObject* focused)
{
    const auto* edit = qobject_cast<QLineEdit*>(focused);
    const std::string text = edit == nullptr ? std::string() : edit->text().toStdString();
    if (focused == levelEdit_) {
        const int steps = LevelStepsFromText(text);
        levelText_ = ToQString(GainText(steps + kGainStepZero));
        model.gain[slot_] = steps + kGainStepZero;
        SetLevelPosition(-steps);
        Send(PID_LR_GAIN, PID_SUB_GAIN);
    } else if (focused == thresholdEdit_) {
        const int threshold = ThresholdFromText(text);
        model.limThreshold[slot_] = threshold;
        thresholdEdit_->setText(ToQString(ThresholdText(threshold)));
        thresholdUpDown_->SetPosition(-threshold);
        Send(PID_LR_LIMIT_THRESHOLD, PID_SUB_LIMIT_THRESHOLD);
    } else if (focused == hold_.edit) {
        const int hold = HoldFromText(text);
        model.limHold[slot_] = hold;
        hold_.edit->setText(ToQString(LimiterTimeText(hold)));
        hold_.upDown->SetPosition(hold);
        Send(PID_LR_LIMIT_HOLD, PID_SUB_LIMIT_HOLD);
    } else {
        const DelayUnit units[] = {DelayUnit::Milliseconds, DelayUnit::Metres, DelayUnit::Feet};
        for (int i = 0; i < 3; ++i)
            if (focused == delayEdits_[i]) SetDelay(DelayFromText(text, units[i]));
    }
    PushData();
}
