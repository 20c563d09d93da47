// The CAP, NUM and SCRL panes of the status bar: lit while Caps Lock, Num
// Lock or Scroll Lock is on. The state is read from the X server's keyboard
// extension; where the platform cannot tell (another window system, a
// headless run) the panes stay greyed.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <optional>

class QLabel;

struct KeyboardLockState {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// The lock state as the window system tells it now; none where it cannot.
std::optional<KeyboardLockState> ReadKeyboardLocks();

class KeyboardLockIndicators : public QObject {
    Q_OBJECT
public:
    // Follows the state in the three panes (CAP, NUM, SCRL), which it does not own.
    KeyboardLockIndicators(std::array<QLabel*, 3> panes, QObject* parent);

    void Refresh();

private:
    std::array<QLabel*, 3> panes_;
    QTimer poll_;
};
