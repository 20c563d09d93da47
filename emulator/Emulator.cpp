#include "emulator/Emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "emulator/EmulatedUnit.h"

using namespace rx74emu;
using Clock = std::chrono::steady_clock;

namespace {

// A reply that cannot be written for this long (nobody reads the line) is dropped.
constexpr int kWriteTimeoutMs = 1000;
// A due hang-up waits this long for the program to send again before the
// line goes anyway.
constexpr int kHangUpQuietMs = 1000;
// Paced replies are written in groups of the bytes completed within this time.
constexpr auto kPacedWriteWindow = std::chrono::milliseconds(1);

Clock::duration ByteTime(int baud)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / baud));
}

void CloseFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct Rx74Emulator::Impl {
    explicit Impl(EmulatorFaults faults) : unit(faults) {}

    EmulatedUnit unit;  // thread-safe on its own

    // Shared with the callers' threads, guarded by `mutex`.
    mutable std::mutex mutex;
    bool hungUp = false;
    std::string devicePath;
    std::function<void()> onStateChanged;
    std::function<void(bool, const std::uint8_t*, std::size_t)> onTraffic;

    // Stopping: the flag ends sleeps, the pipe ends poll().
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    int wakeRead = -1, wakeWrite = -1;

    // Serving thread only.
    std::thread thread;
    std::function<void()> stateChanged;  // copies of the callbacks, taken at Start
    std::function<void(bool, const std::uint8_t*, std::size_t)> traffic;
    int master = -1, slave = -1;      // the emulator keeps the slave open too, so the
                                      // master never sees a hang-up when the program closes
    Clock::time_point receiveClock;   // when the last byte finished arriving, paced
    Clock::time_point transmitClock;  // when the last reply byte finished leaving, paced

    bool OpenPty();
    void Serve();
    bool HandleChunk(const std::uint8_t* bytes, std::size_t n, const EmulatorFaults& faults);
    bool HandleReply(const Reply& reply, const EmulatorFaults& faults, Clock::time_point arrivedAt);
    void Transmit(const std::vector<std::uint8_t>& bytes, const EmulatorFaults& faults, Clock::time_point notBefore);
    bool WriteChunk(const std::uint8_t* bytes, std::size_t n);
    bool WriteAll(const std::uint8_t* bytes, std::size_t n);
    bool SleepUntil(Clock::time_point when);  // false when stopped meanwhile
    void AwaitNextSend();
    void HangUp();
    void Notify(bool incoming, const std::uint8_t* bytes, std::size_t n);
};

bool Rx74Emulator::Impl::OpenPty()
{
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B57600);
    cfsetospeed(&raw, B57600);
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) return false;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseFd(master);
        CloseFd(slave);
        return false;
    }
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    std::lock_guard lock(mutex);
    devicePath = name;
    hungUp = false;
    return true;
}

void Rx74Emulator::Impl::Serve()
{
    std::uint8_t chunk[4096];
    while (true) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) return;
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return;  // the line is gone; nothing more to serve
        if (!HandleChunk(chunk, static_cast<std::size_t>(n), unit.Faults())) return;
    }
}

// Returns false when serving must end (stopped or hung up).
bool Rx74Emulator::Impl::HandleChunk(const std::uint8_t* bytes, std::size_t n, const EmulatorFaults& faults)
{
    const auto readAt = Clock::now();
    unit.Record(bytes, n);
    Notify(true, bytes, n);
    if (unit.HangUpDue()) {
        HangUp();
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        auto arrivedAt = readAt;
        if (faults.paceBaud > 0) {
            // A byte has only arrived once the line has carried its 10 bits; a
            // reply leaves no sooner than the last byte of its message has arrived.
            receiveClock = std::max(receiveClock, readAt) + ByteTime(faults.paceBaud);
            arrivedAt = receiveClock;
        }
        if (!HandleReply(unit.Hear(bytes[i], arrivedAt), faults, arrivedAt)) return false;
    }
    return true;
}

bool Rx74Emulator::Impl::HandleReply(const Reply& reply, const EmulatorFaults& faults, Clock::time_point arrivedAt)
{
    if (reply.kind != Reply::Kind::None)
        Transmit(reply.bytes, faults, arrivedAt + std::chrono::milliseconds(faults.replyDelayMs));
    if (reply.stateChanged && stateChanged) stateChanged();  // after the reply, which it must not delay
    if (!reply.answersFrame || !unit.HangUpDue()) return true;
    AwaitNextSend();
    HangUp();
    return false;
}

// Writes a reply that may start at `notBefore`. Paced bytes are scheduled
// from that moment rather than from whenever this thread got to run, so that
// wake-up delays do not add up over an exchange.
void Rx74Emulator::Impl::Transmit(const std::vector<std::uint8_t>& bytes, const EmulatorFaults& faults,
                                  Clock::time_point notBefore)
{
    const bool paced = faults.paceBaud > 0;
    if (!paced && !faults.splitReplies) {
        if (SleepUntil(notBefore)) WriteChunk(bytes.data(), bytes.size());
        return;
    }
    // The moment each byte has fully left the unit.
    std::vector<Clock::time_point> due(bytes.size());
    transmitClock = std::max(transmitClock, notBefore);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (faults.splitReplies && i > 0) transmitClock += std::chrono::milliseconds(std::max(0, faults.splitGapMs));
        if (paced) transmitClock += ByteTime(faults.paceBaud);
        due[i] = transmitClock;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        // Paced bytes go out in groups, each once its last byte is complete, as
        // a serial adapter hands on what it has every millisecond. Split
        // replies keep to one byte per write.
        std::size_t end = i + 1;
        while (!faults.splitReplies && end < bytes.size() && due[end] <= due[i] + kPacedWriteWindow) ++end;
        if (!SleepUntil(due[end - 1]) || !WriteChunk(bytes.data() + i, end - i)) return;
        i = end;
    }
}

bool Rx74Emulator::Impl::WriteChunk(const std::uint8_t* bytes, std::size_t n)
{
    if (!WriteAll(bytes, n)) return false;
    Notify(false, bytes, n);
    return true;
}

bool Rx74Emulator::Impl::WriteAll(const std::uint8_t* bytes, std::size_t n)
{
    while (n > 0) {
        const ssize_t written = ::write(master, bytes, n);
        if (written > 0) {
            bytes += written;
            n -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return false;
        pollfd out{master, POLLOUT, 0};
        if (::poll(&out, 1, kWriteTimeoutMs) <= 0) return false;  // nobody reads: drop the reply
    }
    return true;
}

bool Rx74Emulator::Impl::SleepUntil(Clock::time_point when)
{
    std::unique_lock lock(stopMutex);
    return !stopSignal.wait_until(lock, when, [this] { return stopping; });
}

// Closing the master throws away what the program has not read yet, and a
// reply just written may not even have reached its input queue. So the line
// goes once the program sends again, which it does only after taking the
// last reply, or once it has been quiet for a while.
void Rx74Emulator::Impl::AwaitNextSend()
{
    pollfd fds[2] = {{master, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    const auto giveUpAt = Clock::now() + std::chrono::milliseconds(kHangUpQuietMs);
    while (::poll(fds, 2, kHangUpQuietMs) < 0 && errno == EINTR && Clock::now() < giveUpAt) {
    }
}

void Rx74Emulator::Impl::HangUp()
{
    std::lock_guard lock(mutex);
    hungUp = true;
    CloseFd(slave);
    CloseFd(master);
}

void Rx74Emulator::Impl::Notify(bool incoming, const std::uint8_t* bytes, std::size_t n)
{
    if (traffic) traffic(incoming, bytes, n);
}

Rx74Emulator::Rx74Emulator(EmulatorFaults faults) : impl_(std::make_unique<Impl>(faults)) {}

Rx74Emulator::~Rx74Emulator() { Stop(); }

bool Rx74Emulator::Start()
{
    if (impl_->thread.joinable() || !impl_->OpenPty()) return false;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    impl_->unit.Forget();
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stateChanged = impl_->onStateChanged;
        impl_->traffic = impl_->onTraffic;
    }
    impl_->thread = std::thread([this] { impl_->Serve(); });
    return true;
}

void Rx74Emulator::Stop()
{
    if (!impl_->thread.joinable()) return;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    const std::uint8_t wake = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(impl_->wakeWrite, &wake, 1);
    impl_->thread.join();
    std::lock_guard lock(impl_->mutex);
    CloseFd(impl_->master);
    CloseFd(impl_->slave);
    CloseFd(impl_->wakeRead);
    CloseFd(impl_->wakeWrite);
}

std::string Rx74Emulator::DevicePath() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->devicePath;
}

EmulatedUnit& Rx74Emulator::Unit() { return impl_->unit; }

void Rx74Emulator::SetFaults(const EmulatorFaults& faults) { impl_->unit.SetFaults(faults); }

std::vector<std::uint8_t> Rx74Emulator::ReceivedBytes() const { return impl_->unit.ReceivedBytes(); }

std::vector<std::vector<std::uint8_t>> Rx74Emulator::ReceivedPayloads() const { return impl_->unit.ReceivedPayloads(); }

void Rx74Emulator::ClearReceived() { impl_->unit.ClearReceived(); }

std::array<std::uint8_t, 62> Rx74Emulator::CurrentImage() const { return impl_->unit.CurrentImage(); }

void Rx74Emulator::SetCurrentImage(const std::array<std::uint8_t, 62>& image) { impl_->unit.SetCurrentImage(image); }

EmulatedMemory Rx74Emulator::Memory(int slot) const { return impl_->unit.Memory(slot); }

void Rx74Emulator::SetMemory(int slot, const EmulatedMemory& memory) { impl_->unit.SetMemory(slot, memory); }

std::string Rx74Emulator::Logo() const { return impl_->unit.Logo(); }

int Rx74Emulator::Exchanges() const { return impl_->unit.Exchanges(); }

bool Rx74Emulator::HungUp() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->hungUp;
}

bool Rx74Emulator::LoadState(const std::string& path) { return impl_->unit.LoadState(path); }

bool Rx74Emulator::SaveState(const std::string& path) const { return impl_->unit.SaveState(path); }

void Rx74Emulator::OnStateChanged(std::function<void()> callback)
{
    std::lock_guard lock(impl_->mutex);
    impl_->onStateChanged = std::move(callback);
}

void Rx74Emulator::OnTraffic(std::function<void(bool, const std::uint8_t*, std::size_t)> callback)
{
    std::lock_guard lock(impl_->mutex);
    impl_->onTraffic = std::move(callback);
}
