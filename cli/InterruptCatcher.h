// Ctrl+C, or on Windows also closing the console window, while a measuring
// command runs: Interrupted() becomes true, which ends a sequence at its next
// step and so puts the unit's mutes back. The program's own handling comes
// back when the catcher goes.
//
// Windows ends a program whose console window is closed once its handler
// returns (and after 5 s at most): the handler holds on until the catcher
// goes, that is until the command has put the mutes back, or 4.5 s.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    static const std::atomic<bool>& Interrupted();
};

// A line from standard input, without its end; nothing at the input's end
// or once Interrupted() (while an InterruptCatcher lives). Read a byte at a
// time, so that nothing after the line is taken from the next reader, and
// waited for in short steps, so that Ctrl+C is heard while the person walks.
std::optional<std::string> ReadLineUnlessInterrupted();

// While it lives, closing the console window (Windows: the console's close,
// log-off and shut-down events) calls `stop` and holds the program until this
// goes or 4.5 s have passed, so that a server stopping puts a measurement's
// mutes back first. Ctrl+C is the server's own (RemoteServer::StopOnSignals).
// Elsewhere it does nothing.
class ConsoleCloseStop {
public:
    explicit ConsoleCloseStop(std::function<void()> stop);
    ~ConsoleCloseStop();
    ConsoleCloseStop(const ConsoleCloseStop&) = delete;
    ConsoleCloseStop& operator=(const ConsoleCloseStop&) = delete;
};
