#include "InterruptCatcher.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Windows gives a closing console's program 5 s before it ends it.
constexpr auto kCloseGrace = 4500ms;

std::atomic<bool> interrupted{false};
// True once the command that may be interrupted has finished (its mutes put back).
std::atomic<bool> finished{true};
std::function<void()> stopOnClose;

bool IsClose(DWORD event) { return event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT; }

// The program ends when a close event's handler returns: it returns once
// the command has finished, or when the grace runs out.
void HoldUntilFinished()
{
    const auto giveUp = std::chrono::steady_clock::now() + kCloseGrace;
    while (!finished && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(10ms);
}

BOOL WINAPI OnInterrupt(DWORD event)
{
    interrupted = true;
    if (IsClose(event)) HoldUntilFinished();
    return TRUE;
}

BOOL WINAPI OnClose(DWORD event)
{
    if (!IsClose(event)) return FALSE;  // Ctrl+C goes on to the server's own handling
    stopOnClose();
    HoldUntilFinished();
    return TRUE;
}

}  // namespace

InterruptCatcher::InterruptCatcher()
{
    interrupted = false;
    finished = false;
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

InterruptCatcher::~InterruptCatcher()
{
    finished = true;
    SetConsoleCtrlHandler(OnInterrupt, FALSE);
}

const std::atomic<bool>& InterruptCatcher::Interrupted() { return interrupted; }

ConsoleCloseStop::ConsoleCloseStop(std::function<void()> stop)
{
    stopOnClose = std::move(stop);
    finished = false;
    SetConsoleCtrlHandler(OnClose, TRUE);
}

ConsoleCloseStop::~ConsoleCloseStop()
{
    finished = true;
    SetConsoleCtrlHandler(OnClose, FALSE);
}

namespace {

// Whether a byte can be read from a pipe without waiting; true also at its
// end, which the read then finds.
bool PipeHasInput(HANDLE input)
{
    DWORD available = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return true;
    return available > 0;
}

}  // namespace

// A pipe is looked into in short steps; a console's read ends with Enter,
// or unfinished when Ctrl+C is pressed, so it is waited for as it is.
std::optional<std::string> ReadLineUnlessInterrupted()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const bool pipe = GetFileType(input) == FILE_TYPE_PIPE;
    std::string line;
    for (;;) {
        if (interrupted) return std::nullopt;
        if (pipe && !PipeHasInput(input)) {
            std::this_thread::sleep_for(100ms);
            continue;
        }
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, nullptr) || read != 1 || interrupted) return std::nullopt;
        if (byte == '\n') return line;
        if (byte != '\r') line += byte;
    }
}
