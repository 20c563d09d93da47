#include "tests/emulator/RawLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <numeric>

Bytes Frame(const Bytes& payload)
{
    Bytes frame = {0x56, 0x4E, 0x42, 0x31, 0x30, static_cast<std::uint8_t>(payload.size())};
    for (std::uint8_t byte : payload) frame.push_back(byte);
    frame.push_back(static_cast<std::uint8_t>(std::accumulate(payload.begin(), payload.end(), 0u)));
    frame.push_back(0x53);
    return frame;
}

RawLine::RawLine(const std::string& device)
{
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios raw{};
    ::tcgetattr(fd_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
}

RawLine::~RawLine()
{
    if (fd_ >= 0) ::close(fd_);
}

void RawLine::Write(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

Bytes RawLine::Read(std::size_t count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    Bytes got;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd in{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) <= 0 || !(in.revents & POLLIN)) break;
        std::uint8_t chunk[512];
        const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

Bytes RawLine::Command(const Bytes& payload, std::size_t replyCount, std::chrono::milliseconds timeout)
{
    if (Exchange({0xFA}, 1, timeout) != Bytes{0x50}) return {};
    return Exchange(Frame(payload), replyCount, timeout);
}

bool RawLine::HungUp(std::chrono::milliseconds timeout)
{
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(timeout.count())) <= 0) return false;
    std::uint8_t byte;
    return (in.revents & POLLHUP) || ::read(fd_, &byte, 1) <= 0;
}

EmulatedLine::EmulatedLine(EmulatorFaults faults) : unit(faults), started(unit.Start()), line(unit.DevicePath()) {}
