// Runs a call that may never return on a thread of its own and waits for it
// a bounded time. A sound library's stop can deadlock with its own audio
// thread (RtAudio's PulseAudio backend, aborting while its callback thread
// sits in a blocking read): the program must go on and say so rather than
// hang. A call that does not return in time is left running on its detached
// thread: what it uses must outlive it (the caller leaks it on purpose).
#pragma once

#include <chrono>
#include <functional>

// True when `call` returned within `timeout`; an exception it threw is
// rethrown here.
bool CallWithin(std::chrono::milliseconds timeout, std::function<void()> call);
