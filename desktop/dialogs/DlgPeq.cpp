#include "dialogs/DlgPeq.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

#include "app/DialogUnits.h"
#include "app/EditHistory.h"
#include "app/ModelChanges.h"
#include "app/UnitLink.h"
#include "dialogs/ArrowIcons.h"
#include "dialogs/FormLayout.h"
#include "dialogs/KeyHook.h"
#include "dialogs/ScrollNotifier.h"
#include "dialogs/TypedValues.h"
#include "link/ParameterMessages.h"
#include "model/Scales.h"

namespace {

constexpr int kDefaultBandwidth = 18;

// The counters run across dialogs: one for the gain bar, one shared by the
// frequency and bandwidth bars.
SendThinner gainThinner;
SendThinner barThinner;

bool IsThumb(ScrollCode code) { return code == ScrollCode::ThumbTrack || code == ScrollCode::ThumbRelease; }

void SetBar(QAbstractSlider* bar, int position)
{
    const QSignalBlocker blocker(bar);
    bar->setValue(position);
}

}  // namespace

CDlgPeq::CDlgPeq(QWidget* parent) : QDialog(parent)
{
    model.curBand = std::clamp(model.curBand, 0, kPeqBands - 1);
    setWindowTitle(QStringLiteral("PEQ filter settings"));
    setFont(DialogFont());
    Build();
    Refresh();
    EditHistory::AddCommandsTo(this);
    // An undo, a redo or an A/B switch while the dialog shows: it shows the
    // setting they left. A gain step left unsent stays due: the timer sends
    // what the model holds then.
    connect(&TheEditHistory(), &EditHistory::settingRestored, this, &CDlgPeq::Refresh);
    gainTimer_.setInterval(kGainTimerMs);
    connect(&gainTimer_, &QTimer::timeout, this, [this] { OnGainTimer(PendingGainSend::Clock::now()); });
    gainTimer_.start();
}

int CDlgPeq::Band() const { return PeqIndex(model.curChannel == kSlotSub ? kSlotSub : kSlotLeftRight, model.curBand); }

void CDlgPeq::Build()
{
    setFixedSize(DialogUnitsToPixels(405, 245, font()));
    BuildFrequencyGroup();
    BuildBandwidthGroup();
    BuildGainGroup();
    BuildBandStepping();
    auto* exitButton = Place(new QPushButton(QStringLiteral("EXIT"), this), 338, 222, 60, 16);
    exitButton->setDefault(true);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::accept);
    NameControls();
    new KeyHook(this, {.swallowHomeAndEnd = true, .swallowContextMenus = true},
                [this](QObject* focused) { OnEnter(focused); });
}

// Names by which the controls can be found (tests, accessibility).
void CDlgPeq::NameControls()
{
    const std::pair<QObject*, const char*> named[] = {{freqBar_, "freqBar"},
                                                      {freqLeft_, "freqLeft"},
                                                      {freqRight_, "freqRight"},
                                                      {freqEdit_, "freqEdit"},
                                                      {bandwidthBar_, "bandwidthBar"},
                                                      {bandwidthEdit_, "bandwidthEdit"},
                                                      {lowShelf_, "lowShelf"},
                                                      {highShelf_, "highShelf"},
                                                      {gainBar_, "gainBar"},
                                                      {gainEdit_, "gainEdit"},
                                                      {flat_, "flat"},
                                                      {bandName_, "bandName"},
                                                      {previousBand_, "previousBand"},
                                                      {nextBand_, "nextBand"}};
    for (const auto& [control, name] : named) control->setObjectName(QString::fromLatin1(name));
}

void CDlgPeq::BuildFrequencyGroup()
{
    AddFrame(this, "Frequency", 7, 7, 262, 62);
    freqBar_ = Place(new QScrollBar(Qt::Horizontal, this), 15, 21, 246, 11);
    freqBar_->setPageStep(5);
    connect(new ScrollNotifier(freqBar_), &ScrollNotifier::scrolled, this, &CDlgPeq::OnFrequencyScroll);
    freqLeft_ = AddLabel(this, "20.0", 15, 35, 50, 8);
    freqRight_ = AddLabel(this, "20.0k", 211, 35, 50, 8, Qt::AlignRight);
    freqEdit_ = Place(new QLineEdit(this), 113, 48, 50, 12);
}

void CDlgPeq::BuildBandwidthGroup()
{
    AddFrame(this, "BandWidth", 7, 75, 262, 104);
    bandwidthBar_ = Place(new QScrollBar(Qt::Horizontal, this), 15, 89, 246, 11);
    bandwidthBar_->setPageStep(5);
    connect(new ScrollNotifier(bandwidthBar_), &ScrollNotifier::scrolled, this, &CDlgPeq::OnBandwidthScroll);
    AddLabel(this, "Low", 15, 103, 30, 8);
    AddLabel(this, "High", 231, 103, 30, 8, Qt::AlignRight);
    bandwidthEdit_ = Place(new QLineEdit(this), 113, 115, 50, 12);
    lowShelf_ = Place(new QCheckBox(QStringLiteral("Low Shelf"), this), 15, 137, 60, 10);
    highShelf_ = Place(new QCheckBox(QStringLiteral("High Shelf"), this), 201, 137, 60, 10);
    highShelf_->setLayoutDirection(Qt::RightToLeft);  // text on the left
    connect(lowShelf_, &QCheckBox::clicked, this, [this](bool ticked) { OnShelfClicked(false, ticked); });
    connect(highShelf_, &QCheckBox::clicked, this, [this](bool ticked) { OnShelfClicked(true, ticked); });
    AddLabel(this, "Gain must be at 0dB to switch filter", 15, 158, 246, 8, Qt::AlignHCenter);
}

void CDlgPeq::BuildGainGroup()
{
    AddFrame(this, "Gain", 277, 7, 121, 172);
    gainBar_ = Place(new QSlider(Qt::Vertical, this), 287, 20, 24, 118);
    gainBar_->setInvertedAppearance(true);  // the top end is +12 dB
    gainBar_->setInvertedControls(true);
    gainBar_->setTickPosition(QSlider::TicksRight);
    gainBar_->setRange(-120, 120);
    gainBar_->setSingleStep(1);
    gainBar_->setPageStep(10);
    gainBar_->setTickInterval(10);
    connect(new ScrollNotifier(gainBar_), &ScrollNotifier::scrolled, this, &CDlgPeq::OnGainScroll);
    const char* const scale[] = {"+12dB", "+6dB", "0dB", "-6dB", "-12dB"};
    for (int i = 0; i < 5; ++i) AddLabel(this, scale[i], 314, 22 + 27 * i, 30, 8);
    gainEdit_ = Place(new QLineEdit(this), 287, 144, 50, 12);
    auto* zero = Place(new QPushButton(QStringLiteral("Set 0dB"), this), 343, 143, 48, 14);
    zero->setAutoDefault(false);
    zero->setObjectName(QStringLiteral("setZeroDb"));
    connect(zero, &QPushButton::clicked, this, &CDlgPeq::OnSetZeroDb);
    flat_ = Place(new QCheckBox(QStringLiteral("FLAT"), this), 287, 163, 40, 10);
    connect(flat_, &QCheckBox::clicked, this, [this](bool ticked) {
        model.peqFlat[Band()] = ticked ? 1 : 0;
        SendEdit(PID_PEQ_FLAT);
    });
}

void CDlgPeq::BuildBandStepping()
{
    previousBand_ = Place(new QPushButton(this), 7, 190, 30, 24);
    previousBand_->setIcon(ArrowIcon(ArrowDirection::Left));
    bandName_ = Place(new QLineEdit(this), 43, 196, 60, 12);
    bandName_->setReadOnly(true);
    bandName_->setAlignment(Qt::AlignCenter);
    nextBand_ = Place(new QPushButton(this), 109, 190, 30, 24);
    nextBand_->setIcon(ArrowIcon(ArrowDirection::Right));
    for (QPushButton* button : {previousBand_, nextBand_}) {
        button->setIconSize(DialogUnitsToPixels(22, 16, font()).boundedTo(QSize(32, 32)));
        button->setAutoDefault(false);
    }
    connect(previousBand_, &QPushButton::clicked, this, [this] {
        model.curBand = std::max(0, model.curBand - 1);
        Refresh();
    });
    connect(nextBand_, &QPushButton::clicked, this, [this] {
        model.curBand = std::min(kPeqBands - 1, model.curBand + 1);
        Refresh();
    });
}

void CDlgPeq::Refresh()
{
    const int j = Band();
    bandName_->setText(QStringLiteral("PEQ %1").arg(model.curBand + 1));
    previousBand_->setEnabled(model.curBand > 0);
    nextBand_->setEnabled(model.curBand < kPeqBands - 1);
    SetFrequencyRange(PeqBandRange(model.peqHiShelf[j], model.peqLoShelf[j]));
    SetFrequency(model.peqFreq[j]);
    {
        const QSignalBlocker blocker(bandwidthBar_);
        bandwidthBar_->setRange(kBandwidthStepNarrowest, kBandwidthStepWidest);
        bandwidthBar_->setValue(model.peqBandwidth[j]);
    }
    bandwidthEdit_->setText(ToQString(BandwidthText(model.peqBandwidth[j], model.peqHiShelf[j], model.peqLoShelf[j])));
    lowShelf_->setChecked(model.peqLoShelf[j] != 0);
    highShelf_->setChecked(model.peqHiShelf[j] != 0);
    SetGainBar(kGainStepZero - model.peqGain[j]);
    gainEdit_->setText(ToQString(PeqGainText(model.peqGain[j])));
    ApplyEnableRules();
    flat_->setChecked(model.peqFlat[j] != 0);
}

void CDlgPeq::ApplyEnableRules()
{
    const int j = Band();
    const bool atZeroDb = model.peqGain[j] == kGainStepZero;
    lowShelf_->setEnabled(atZeroDb);
    highShelf_->setEnabled(atZeroDb);
    bandwidthBar_->setEnabled(atZeroDb || (!model.peqHiShelf[j] && !model.peqLoShelf[j]));
}

void CDlgPeq::SetFrequencyRange(const FrequencyRange& range)
{
    range_ = range;
    freqLeft_->setText(QString::fromLatin1(range.leftCaption));
    freqRight_->setText(QString::fromLatin1(range.rightCaption));
    const QSignalBlocker blocker(freqBar_);
    freqBar_->setRange(range.min, range.max);
}

// Frequency text and bar position for a step (the model is the caller's).
void CDlgPeq::SetFrequency(int step)
{
    freqEdit_->setText(QString::fromLatin1(FreqLabelAt(step)));
    SetBar(freqBar_, step);
}

void CDlgPeq::SetBandwidthBar(int step) { SetBar(bandwidthBar_, step); }

void CDlgPeq::SetGainBar(int position) { SetBar(gainBar_, position); }

// Back to a bell's frequency range, the bar kept at the band's frequency.
void CDlgPeq::ShowBellRange()
{
    SetFrequencyRange(PeqBellRange());
    SetBar(freqBar_, model.peqFreq[Band()]);
}

void CDlgPeq::OnGainScroll(ScrollCode code, int position)
{
    const bool send = gainThinner.ShouldSend(code);
    if (IsCountedScroll(code)) {
        pendingGain_.Note(PendingGainSend::Clock::now());
        if (send) pendingGain_.Clear();
    }
    gainEdit_->setText(ToQString(PeqGainText(kGainStepZero - position)));
    model.peqGain[Band()] = kGainStepZero - position;
    if (send)
        SendEdit(PID_PEQ_GAIN);
    else
        NotifyModelChanged();  // a step left unsent still changes the curve
    ApplyEnableRules();
}

void CDlgPeq::OnGainTimer(PendingGainSend::Clock::time_point now)
{
    if (pendingGain_.TakeIfDue(now)) SendEdit(PID_PEQ_GAIN);
}

void CDlgPeq::OnFrequencyScroll(ScrollCode code, int position)
{
    const bool send = barThinner.ShouldSend(code);
    const int j = Band();
    model.peqFreq[j] =
        IsThumb(code) ? position : std::clamp(model.peqFreq[j] + ScrollStep(code), range_.min, range_.max);
    SetFrequency(model.peqFreq[j]);
    if (send)
        SendEdit(PID_PEQ_FREQ);
    else
        NotifyModelChanged();  // a step left unsent still changes the curve
    freqBar_->setFocus();
}

void CDlgPeq::OnBandwidthScroll(ScrollCode code, int position)
{
    const bool send = barThinner.ShouldSend(code);
    const int j = Band();
    if (IsThumb(code)) {
        // The shelf flags stay in the model until the end of the scroll.
        model.peqBandwidth[j] = position;
    } else if (model.peqHiShelf[j] || model.peqLoShelf[j]) {
        model.peqHiShelf[j] = model.peqLoShelf[j] = 0;
        model.peqBandwidth[j] = kDefaultBandwidth;
    } else {
        model.peqBandwidth[j] =
            std::clamp(model.peqBandwidth[j] + ScrollStep(code), kBandwidthStepNarrowest, kBandwidthStepWidest);
    }
    if (send)
        SendEdit(PID_PEQ_BANDWIDTH);
    else
        NotifyModelChanged();  // a step left unsent still changes the curve
    bandwidthEdit_->setText(ToQString(BandwidthText(model.peqBandwidth[j], 0, 0)));
    SetBandwidthBar(model.peqBandwidth[j]);
    if (!IsThumb(code)) ShowBellRange();
    lowShelf_->setChecked(false);
    highShelf_->setChecked(false);
    bandwidthBar_->setFocus();
}

// A shelf box ticked turns the band into that shelf at 1000 Hz; unticked,
// the band is a bell again at its frequency and bandwidth.
void CDlgPeq::OnShelfClicked(bool high, bool ticked)
{
    const int j = Band();
    if (ticked) {
        MakeShelf(high);
    } else {
        model.peqHiShelf[j] = model.peqLoShelf[j] = 0;
        (high ? lowShelf_ : highShelf_)->setChecked(false);
        ShowBellRange();
        SetBandwidthBar(model.peqBandwidth[j]);
    }
    bandwidthEdit_->setText(ToQString(BandwidthText(model.peqBandwidth[j], model.peqHiShelf[j], model.peqLoShelf[j])));
    SendEdit(PID_PEQ_BANDWIDTH);
}

void CDlgPeq::OnSetZeroDb()
{
    SetGainBar(0);
    gainEdit_->setText(QStringLiteral("+0dB"));
    model.peqGain[Band()] = 128;
    SendEdit(PID_PEQ_GAIN);
    ApplyEnableRules();
}

void CDlgPeq::OnTypedFrequency()
{
    const int step = PeqFrequencyFromText(freqEdit_->text().toStdString(), range_);
    model.peqFreq[Band()] = step;
    SetFrequency(step);
    SendEdit(PID_PEQ_FREQ);
}

void CDlgPeq::OnTypedGain()
{
    const int tenths = PeqGainTenthsFromText(gainEdit_->text().toStdString());
    gainEdit_->setText(ToQString(SignedTenthsText(tenths)));
    SetGainBar(-tenths);
    model.peqGain[Band()] = tenths + 128;
    SendEdit(PID_PEQ_GAIN);
    ApplyEnableRules();
}

// Turns the band into a low or a high shelf at 1000 Hz.
void CDlgPeq::MakeShelf(bool high)
{
    const int j = Band();
    model.peqHiShelf[j] = high ? 1 : 0;
    model.peqLoShelf[j] = high ? 0 : 1;
    lowShelf_->setChecked(!high);
    highShelf_->setChecked(high);
    SetFrequencyRange(high ? PeqHighShelfRange() : PeqLowShelfRange());
    model.peqFreq[j] = kFreqStep1kHz;
    SetFrequency(kFreqStep1kHz);
}

void CDlgPeq::OnTypedBandwidth()
{
    const int j = Band();
    const bool shelf = model.peqHiShelf[j] || model.peqLoShelf[j];
    const bool atZeroDb = model.peqGain[j] == kGainStepZero;
    const std::string typed = bandwidthEdit_->text().toStdString() + " ";
    const char first = typed[0];
    const bool low = first == 'l' || first == 'L';
    const bool high = first == 'h' || first == 'H';
    if (shelf && !atZeroDb) {
        // A shelf keeps its kind until the gain is back at 0 dB.
    } else if (atZeroDb && (low || high)) {
        const bool already = low ? model.peqLoShelf[j] : model.peqHiShelf[j];
        if (!already) MakeShelf(high);
        SetBandwidthBar(model.peqBandwidth[j]);
    } else {
        if (!low && !high) model.peqBandwidth[j] = BandwidthStepFromOctaves(LeadingNumber(typed));
        lowShelf_->setChecked(false);
        highShelf_->setChecked(false);
        ShowBellRange();
        model.peqHiShelf[j] = model.peqLoShelf[j] = 0;
        SetBandwidthBar(model.peqBandwidth[j]);
    }
    bandwidthEdit_->setText(ToQString(BandwidthText(model.peqBandwidth[j], model.peqHiShelf[j], model.peqLoShelf[j])));
    SendEdit(PID_PEQ_BANDWIDTH);
}

void CDlgPeq::OnEnter(QObject* focused)
{
    if (focused == freqEdit_)
        OnTypedFrequency();
    else if (focused == bandwidthEdit_)
        OnTypedBandwidth();
    else if (focused == gainEdit_)
        OnTypedGain();
    else
        ApplyEnableRules();
}
