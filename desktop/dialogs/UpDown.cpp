#include "dialogs/UpDown.h"

#include <QKeyEvent>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

CUpDown::CUpDown(QWidget* parent)
    : QWidget(parent), up_(ArrowButton(Qt::UpArrow, this)), down_(ArrowButton(Qt::DownArrow, this))
{
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDown::SetBuddy(QLineEdit* buddy)
{
    buddy_ = buddy;
    buddy->installEventFilter(this);
}

void CUpDown::SetRange(int lower, int upper)
{
    lower_ = std::min(lower, upper);
    upper_ = std::max(lower, upper);
    position_ = std::clamp(position_, lower_, upper_);
}

void CUpDown::SetPosition(int position) { position_ = std::clamp(position, lower_, upper_); }

void CUpDown::Step(int change)
{
    // The owner may set this up-down's position while it handles the step;
    // the step still moves on from where the user started it.
    const int from = position_;
    emit positionChanging(from, change);
    SetPosition(from + change);
}

bool CUpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return false;
}

void CUpDown::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}
