#include "InterruptCatcher.h"

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
