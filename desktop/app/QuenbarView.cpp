#include "app/QuenbarView.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPainter>
#include <QStatusBar>

#include "app/DialogUnits.h"
#include "app/DlgRs232.h"
#include "app/ErrorBox.h"
#include "app/Messages.h"
#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "app/controls/LabelButton.h"
#include "app/controls/RoundButton.h"
#include "dialogs/ChannelSettings.h"
#include "memory/MemoryDialog.h"
#include "memory/UnitMemories.h"
#include "unit/UnitOperations.h"

namespace {

constexpr int kFormWidth = 461;
constexpr int kFormHeight = 293;
constexpr int kMixId = 1085;

struct Placement {
    int id;
    const char* caption;
    int x, y, w, h;
};

// Upper row: the Left&Right chain; lower row: the Sub chain.
constexpr Placement kUpperBlocks[] = {
    {1000, "Gain", 57, 50, 52, 48},   {1086, "PEQ", 120, 50, 52, 48},   {1004, "Xover", 183, 50, 52, 48},
    {1010, "Phase", 246, 50, 52, 48}, {1006, "Delay", 309, 50, 52, 48}, {1007, "Limit", 372, 50, 52, 48},
};
constexpr Placement kLowerBlocks[] = {
    {1001, "Gain", 59, 128, 52, 20},   {1003, "PEQ", 122, 128, 52, 20},   {1005, "Xover", 185, 128, 52, 20},
    {1011, "Phase", 248, 128, 52, 20}, {1009, "Delay", 311, 128, 52, 20}, {1008, "Limit", 374, 128, 52, 20},
};
constexpr Placement kLabels[] = {
    {1084, "LEFT", 1, 41, 30, 12},    {1091, "RIGHT", 2, 69, 30, 12},  {1092, "LEFT", 426, 42, 30, 12},
    {1093, "RIGHT", 426, 69, 30, 12}, {1094, "SUB", 428, 120, 29, 12},
};

// Sunken lines: horizontal ones are 2 pixels high, vertical ones 2 wide.
struct Line {
    int id;
    int x, y, length;
    bool horizontal;
};
constexpr Line kSignalLines[] = {
    {1050, 4, 57, 438, true},  {1051, 3, 83, 440, true},  {1052, 36, 135, 407, true},
    {1053, 28, 58, 77, false}, {1054, 40, 83, 53, false},
};

const char* const kControlIdProperty = "controlId";

}  // namespace

bool IsSwallowedViewKey(const QKeyEvent& event)
{
    return event.type() == QEvent::KeyPress && event.key() == Qt::Key_D &&
           event.modifiers().testFlag(Qt::ControlModifier);
}

int CQuenbarView::SlotOfBlock(int controlId)
{
    for (const Placement& block : kUpperBlocks)
        if (block.id == controlId) return kSlotLeftRight;
    for (const Placement& block : kLowerBlocks)
        if (block.id == controlId) return kSlotSub;
    return -1;
}

CQuenbarView::CQuenbarView(QWidget* parent) : QWidget(parent)
{
    setFont(DialogFont());
    installEventFilter(this);
    CreateSignalLines();
    CreateBlocks();
    CreateLabels();
    resize(sizeHint());
}

QSize CQuenbarView::sizeHint() const { return DialogUnitsToPixels(kFormWidth, kFormHeight, font()); }

void CQuenbarView::AddControl(QWidget* control, int controlId)
{
    control->setProperty(kControlIdProperty, controlId);
    control->installEventFilter(this);
}

QWidget* CQuenbarView::Control(int controlId) const
{
    for (QWidget* child : findChildren<QWidget*>())
        if (child->property(kControlIdProperty).toInt() == controlId) return child;
    return nullptr;
}

void CQuenbarView::CreateBlocks()
{
    auto addRow = [this](const auto& row) {
        for (const Placement& block : row) {
            auto* button = new QPushButton(QString::fromLatin1(block.caption), this);
            PlaceInDialogUnits(button, block.x, block.y, block.w, block.h);
            AddControl(button, block.id);
            blocks_.push_back(button);
            const int slot = SlotOfBlock(block.id);
            connect(button, &QPushButton::clicked, this, [this, slot] {
                ShowChannelSettings(slot, this);
                emit channelSettingsClosed();
            });
        }
    };
    addRow(kUpperBlocks);
    addRow(kLowerBlocks);
}

void CQuenbarView::SetBlocksEnabled(bool enabled)
{
    for (QPushButton* block : blocks_) block->setEnabled(enabled);
}

void CQuenbarView::CreateLabels()
{
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const Placement& label = kLabels[i];
        labels_[i] = new CLabelButton(QString::fromLatin1(label.caption), this);
        labels_[i]->setFocusPolicy(Qt::NoFocus);
        PlaceInDialogUnits(labels_[i], label.x, label.y, label.w, label.h);
        AddControl(labels_[i], label.id);
    }
    mix_ = new CRoundButton(QStringLiteral("MIX"), this);
    mix_->PlaceOn(DialogUnitsToPixels(17, 120, 32, 32, font()));
    mix_->setEnabled(false);
    AddControl(mix_, kMixId);
}

void CQuenbarView::CreateSignalLines()
{
    for (const Line& line : kSignalLines) {
        auto* frame = new QFrame(this);
        frame->setFrameStyle((line.horizontal ? QFrame::HLine : QFrame::VLine) | QFrame::Sunken);
        QRect place = line.horizontal ? DialogUnitsToPixels(line.x, line.y, line.length, 0, font())
                                      : DialogUnitsToPixels(line.x, line.y, 0, line.length, font());
        if (line.horizontal)
            place.setHeight(2);
        else
            place.setWidth(2);
        frame->setGeometry(place);
        AddControl(frame, line.id);
    }
}

void CQuenbarView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
}

bool CQuenbarView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && IsSwallowedViewKey(*static_cast<QKeyEvent*>(event))) return true;
    return QWidget::eventFilter(watched, event);
}

void CQuenbarView::OnConnect()
{
    if (model.connected) {
        OnDisconnect();
        return;
    }
    StartConnect(this, [this](const ConnectOutcome& report) {
        if (UnitTasks().Cancelled()) {
            // A connect cut short leaves no half connection behind.
            if (model.connected) return OnDisconnect();
        } else if (report.result == ConnectResult::HandshakeFailed) {
            ShowErrorBox(this, report.failure);
        } else if (report.result == ConnectResult::CurrentReadFailed) {
            ShowErrorBox(this, QString::fromLatin1(kReadCurrentFailedText));
        }
        auto* frame = qobject_cast<QMainWindow*>(window());
        if (report.replacedFirmType && frame)
            frame->statusBar()->showMessage(QString::fromStdString(DescribeReplacedFirmType(*report.replacedFirmType)));
        emit connectionChanged();
    });
}

void CQuenbarView::OnDisconnect()
{
    StartDisconnect(this, [this] { emit connectionChanged(); });
}

void CQuenbarView::OnRs232()
{
    CDlgRs232 dialog(this);
    dialog.exec();
}

void CQuenbarView::OnMemory()
{
    ShowMemoryDialog(this, model.connected || !offlineMemories_ ? TheUnitMemories() : *offlineMemories_);
}
