// The write of a whole message to a non-blocking descriptor (a serial
// device, a TCP socket) on POSIX systems: what the queue takes now, then a
// wait in poll() while it is full, within a time budget so that a line that
// takes nothing cannot hold up the exchange for ever.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// `put` writes as write(2) does (write, or send without SIGPIPE). True once
// every byte went; false when `put` failed or the budget ran out first.
using PutBytes = ssize_t (*)(int fd, const void* bytes, std::size_t count);
bool WriteAllWithin(int fd, const std::uint8_t* bytes, int count, int budgetMs, PutBytes put);
