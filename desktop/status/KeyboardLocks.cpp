#include "status/KeyboardLocks.h"

#include <QGuiApplication>
#include <QLabel>

#ifdef QUENBAR_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace {

// Often enough that a pane follows a key press at once to the eye; a read
// is one round trip to the X server.
constexpr int kPollMs = 200;

#ifdef QUENBAR_HAVE_X11
// Whether the named indicator ("Caps Lock", ...) is lit.
bool IndicatorOn(Display* display, const char* name)
{
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    return atom != 0 && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
}
#endif

}  // namespace

std::optional<KeyboardLockState> ReadKeyboardLocks()
{
#ifdef QUENBAR_HAVE_X11
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    return KeyboardLockState{IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
                             IndicatorOn(display, "Scroll Lock")};
#else
    return std::nullopt;
#endif
}

KeyboardLockIndicators::KeyboardLockIndicators(std::array<QLabel*, 3> panes, QObject* parent)
    : QObject(parent), panes_(panes)
{
    Refresh();
    // Polled: another window may change the locks, and X tells no event for
    // that to a window without the focus.
    if (ReadKeyboardLocks()) {
        connect(&poll_, &QTimer::timeout, this, &KeyboardLockIndicators::Refresh);
        poll_.start(kPollMs);
    }
}

void KeyboardLockIndicators::Refresh()
{
    const std::optional<KeyboardLockState> state = ReadKeyboardLocks();
    const bool lit[3] = {state && state->caps, state && state->num, state && state->scroll};
    for (std::size_t i = 0; i < panes_.size(); ++i) panes_[i]->setEnabled(lit[i]);
}
