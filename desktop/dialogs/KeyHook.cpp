#include "dialogs/KeyHook.h"

#include <QKeyEvent>
#include <QWidget>

KeyHook::KeyHook(QWidget* form, Keys keys, std::function<void(QObject* focused)> onEnter)
    : QObject(form), keys_(keys), onEnter_(std::move(onEnter))
{
    for (QWidget* control : form->findChildren<QWidget*>()) control->installEventFilter(this);
}

// Key presses reach the focused control first, so `watched` is that control.
bool KeyHook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu) return keys_.swallowContextMenus;
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        onEnter_(watched);
        return true;
    }
    return keys_.swallowHomeAndEnd && (key == Qt::Key_Home || key == Qt::Key_End);
}
