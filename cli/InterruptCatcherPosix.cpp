#include "InterruptCatcher.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
void (*previous)(int) = SIG_DFL;

extern "C" void OnInterrupt(int) { interrupted = true; }

}  // namespace

InterruptCatcher::InterruptCatcher()
{
    interrupted = false;
    previous = std::signal(SIGINT, OnInterrupt);
}

InterruptCatcher::~InterruptCatcher() { std::signal(SIGINT, previous); }

const std::atomic<bool>& InterruptCatcher::Interrupted() { return interrupted; }

ConsoleCloseStop::ConsoleCloseStop(std::function<void()>) {}

ConsoleCloseStop::~ConsoleCloseStop() = default;

std::optional<std::string> ReadLineUnlessInterrupted()
{
    std::string line;
    for (;;) {
        if (interrupted) return std::nullopt;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 100) <= 0) continue;
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) != 1) return std::nullopt;
        if (byte == '\n') return line;
        line += byte;
    }
}
