#include "PtyPeer.h"

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

PtyPeer::PtyPeer()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    path_ = name;
}

PtyPeer::~PtyPeer()
{
    HangUp();
    if (slave_ >= 0) ::close(slave_);
}

void PtyPeer::Send(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void PtyPeer::AwaitTaken(int timeoutMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    int unread = 1;
    while (slave_ >= 0 && steady_clock::now() < deadline) {
        if (::ioctl(slave_, TIOCINQ, &unread) != 0 || unread == 0) break;
        std::this_thread::sleep_for(milliseconds(2));
    }
    std::this_thread::sleep_for(milliseconds(30));
}

std::vector<std::uint8_t> PtyPeer::Receive(std::size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> bytes;
    while (master_ >= 0 && bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd in{master_, POLLIN, 0};
        if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) <= 0) break;
        std::uint8_t chunk[512];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void PtyPeer::HangUp()
{
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}
