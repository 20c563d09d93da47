#include "dialogs/ScrollNotifier.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

bool IsScrollKey(int key)
{
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

}  // namespace

ScrollNotifier::ScrollNotifier(QAbstractSlider* slider) : QObject(slider), slider_(slider)
{
    connect(slider, &QAbstractSlider::actionTriggered, this, &ScrollNotifier::OnAction);
    connect(slider, &QAbstractSlider::sliderReleased, this, [this] { Notify(ScrollCode::ThumbRelease); });
    slider->installEventFilter(this);
    // Scroll bars take the keyboard focus, and their arrow keys move the
    // thumb the way the arrow points (Qt's scroll bars invert them).
    slider->setFocusPolicy(Qt::StrongFocus);
    if (qobject_cast<QScrollBar*>(slider) != nullptr) slider->setInvertedControls(false);
}

void ScrollNotifier::OnAction(int action)
{
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            Notify(ScrollCode::LineBack);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            Notify(ScrollCode::LineForward);
            break;
        case QAbstractSlider::SliderPageStepSub:
            Notify(ScrollCode::PageBack);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            Notify(ScrollCode::PageForward);
            break;
        case QAbstractSlider::SliderToMinimum:
            Notify(ScrollCode::ToStart);
            break;
        case QAbstractSlider::SliderToMaximum:
            Notify(ScrollCode::ToEnd);
            break;
        case QAbstractSlider::SliderMove:
            Notify(ScrollCode::ThumbTrack);
            break;
        default:
            break;
    }
}

void ScrollNotifier::Notify(ScrollCode code) { emit scrolled(code, slider_->sliderPosition()); }

bool ScrollNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != slider_) return false;
    // The wheel would move the bar with neither a release nor an end of
    // scroll, leaving a thinned-out change unsent: the bars ignore it.
    if (event->type() == QEvent::Wheel) return true;
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        mousePressed_ = true;
    } else if (event->type() == QEvent::MouseButtonRelease && mousePressed_ &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Let the bar finish its own release (thumb release, auto-repeat
        // stopped) first, so that the end of scroll comes last.
        mousePressed_ = false;
        static_cast<QObject*>(slider_)->event(event);
        Notify(ScrollCode::EndScroll);
        return true;
    } else if (event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && IsScrollKey(key->key())) Notify(ScrollCode::EndScroll);
    }
    return false;
}
