// Sees every key press of a form's controls before the focused control
// does, so that Enter commits a typed value instead of closing the form.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

class KeyHook : public QObject {
public:
    struct Keys {
        bool swallowHomeAndEnd;    // bars and boxes never jump to an end
        bool swallowContextMenus;  // the right button's menus stay shut
    };

    // Watches every control that exists on `form` now. Enter is always
    // consumed, after onEnter has been told which control had the focus.
    KeyHook(QWidget* form, Keys keys, std::function<void(QObject* focused)> onEnter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Keys keys_;
    std::function<void(QObject*)> onEnter_;
};
