#include "link/PosixWrite.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

bool WriteAllWithin(int fd, const std::uint8_t* bytes, int count, int budgetMs, PutBytes put)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    while (count > 0) {
        const ssize_t n = put(fd, bytes, static_cast<std::size_t>(count));
        if (n > 0) {
            bytes += n;
            count -= static_cast<int>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd out{fd, POLLOUT, 0};
            int ready;
            do {
                ready = left > 0 ? ::poll(&out, 1, static_cast<int>(left)) : 0;
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0) return false;
        } else {
            return false;
        }
    }
    return true;
}
