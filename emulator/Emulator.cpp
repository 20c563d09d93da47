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

#include "emulator/UnitResponder.h"
#include "emulator/UnitState.h"
#include "emulator/WireReader.h"

using namespace rx74emu;
using Clock = std::chrono::steady_clock;

namespace {

// A frame or block left incomplete this long is dropped, so that a program
// that gave up in the middle is heard correctly at its next attempt.
constexpr auto kPartialMessageTimeout = std::chrono::milliseconds(500);
// A reply that cannot be written for this long (nobody reads the line) is dropped.
constexpr int kWriteTimeoutMs = 1000;
// A due hang-up waits this long for the program to send again before the
// line goes anyway.
constexpr int kHangUpQuietMs = 1000;
// Junk sent before acknowledgements by the garbage fault: none of "P", "Q", "S".
constexpr std::uint8_t kGarbage[] = {0x00, 0xA5, 0xFF};
constexpr std::uint8_t kWrongConnectFirstByte = 0x52;
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
    // Shared with the callers' threads, guarded by `mutex`.
    mutable std::mutex mutex;
    EmulatorFaults faults;
    UnitState state;
    std::vector<std::uint8_t> received;
    std::vector<std::vector<std::uint8_t>> payloads;
    int exchanges = 0;
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
    int master = -1, slave = -1;  // the emulator keeps the slave open too, so the
                                  // master never sees a hang-up when the program closes
    WireReader reader;
    UnitResponder responder;
    Clock::time_point lastByteAt;
    Clock::time_point receiveClock;   // when the last byte finished arriving, paced
    Clock::time_point transmitClock;  // when the last reply byte finished leaving, paced

    bool OpenPty();
    void Serve();
    int PollTimeoutMs() const;
    bool HandleChunk(const std::uint8_t* bytes, std::size_t n, const EmulatorFaults& faults);
    bool HandleMessage(const WireReader::Message& message, Clock::time_point arrivedAt);
    void Send(const Reply& reply, const EmulatorFaults& faults, Clock::time_point notBefore);
    void Transmit(const std::vector<std::uint8_t>& bytes, const EmulatorFaults& faults, Clock::time_point notBefore);
    bool WriteChunk(const std::uint8_t* bytes, std::size_t n);
    bool WriteAll(const std::uint8_t* bytes, std::size_t n);
    bool SleepUntil(Clock::time_point when);  // false when stopped meanwhile
    bool HangUpDue();
    void AwaitNextSend();
    void HangUp();
    void Notify(bool incoming, const std::uint8_t* bytes, std::size_t n);
    EmulatorFaults Faults()
    {
        std::lock_guard lock(mutex);
        return faults;
    }
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

int Rx74Emulator::Impl::PollTimeoutMs() const
{
    if (!reader.Partial()) return -1;
    const auto left = lastByteAt + kPartialMessageTimeout - Clock::now();
    return std::max<int>(0, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

void Rx74Emulator::Impl::Serve()
{
    std::uint8_t chunk[4096];
    while (true) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const int ready = ::poll(fds, 2, PollTimeoutMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) return;
        if (ready == 0) {  // the program stopped in the middle of a message
            reader.Reset();
            responder.Abandon();
            continue;
        }
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return;  // the line is gone; nothing more to serve
        if (!HandleChunk(chunk, static_cast<std::size_t>(n), Faults())) return;
    }
}

// Returns false when serving must end (stopped or hung up).
bool Rx74Emulator::Impl::HandleChunk(const std::uint8_t* bytes, std::size_t n, const EmulatorFaults& faults)
{
    const auto readAt = Clock::now();
    {
        std::lock_guard lock(mutex);
        received.insert(received.end(), bytes, bytes + n);
    }
    Notify(true, bytes, n);
    if (HangUpDue()) {
        HangUp();
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        lastByteAt = readAt;
        if (faults.paceBaud > 0) {
            // A byte has only arrived once the line has carried its 10 bits; a
            // reply leaves no sooner than the last byte of its message has arrived.
            receiveClock = std::max(receiveClock, readAt) + ByteTime(faults.paceBaud);
            lastByteAt = receiveClock;
        }
        auto message = reader.Feed(bytes[i]);
        if (message && !HandleMessage(*message, lastByteAt)) return false;
    }
    return true;
}

bool Rx74Emulator::Impl::HandleMessage(const WireReader::Message& message, Clock::time_point arrivedAt)
{
    Reply reply;
    EmulatorFaults now;
    {
        std::lock_guard lock(mutex);
        if (message.kind == WireReader::Kind::Frame) payloads.push_back(message.bytes);
        now = faults;
        const bool fallenSilent = now.silentAfterExchanges >= 0 && exchanges >= now.silentAfterExchanges;
        const bool hears =
            !now.silent && !fallenSilent && (message.kind == WireReader::Kind::Attention || !now.noFrameAck);
        if (hears) reply = responder.Respond(message, state, reader);
        // Counted before the answer leaves, so that whoever has read the answer
        // also sees it counted.
        if (reply.answersFrame) ++exchanges;
    }
    if (reply.kind != Reply::Kind::None) Send(reply, now, arrivedAt + std::chrono::milliseconds(now.replyDelayMs));
    if (reply.stateChanged && stateChanged) stateChanged();  // after the reply, which it must not delay
    if (!reply.answersFrame || !HangUpDue()) return true;
    AwaitNextSend();
    HangUp();
    return false;
}

void Rx74Emulator::Impl::Send(const Reply& reply, const EmulatorFaults& faults, Clock::time_point notBefore)
{
    std::vector<std::uint8_t> bytes = reply.bytes;
    if (reply.kind == Reply::Kind::Connect && faults.wrongConnectReply) bytes[0] = kWrongConnectFirstByte;
    if (reply.kind == Reply::Kind::Acknowledge && faults.garbageBeforeAck)
        bytes.insert(bytes.begin(), std::begin(kGarbage), std::end(kGarbage));
    Transmit(bytes, faults, notBefore);
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

bool Rx74Emulator::Impl::HangUpDue()
{
    std::lock_guard lock(mutex);
    return faults.hangUpAfterExchanges >= 0 && exchanges >= faults.hangUpAfterExchanges;
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

Rx74Emulator::Rx74Emulator(EmulatorFaults faults) : impl_(std::make_unique<Impl>()) { impl_->faults = faults; }

Rx74Emulator::~Rx74Emulator() { Stop(); }

bool Rx74Emulator::Start()
{
    if (impl_->thread.joinable() || !impl_->OpenPty()) return false;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    impl_->reader.Reset();
    impl_->responder.Abandon();
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

void Rx74Emulator::SetFaults(const EmulatorFaults& faults)
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults = faults;
}

std::vector<std::uint8_t> Rx74Emulator::ReceivedBytes() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::vector<std::vector<std::uint8_t>> Rx74Emulator::ReceivedPayloads() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->payloads;
}

void Rx74Emulator::ClearReceived()
{
    std::lock_guard lock(impl_->mutex);
    impl_->received.clear();
    impl_->payloads.clear();
}

std::array<std::uint8_t, 62> Rx74Emulator::CurrentImage() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->state.current;
}

void Rx74Emulator::SetCurrentImage(const std::array<std::uint8_t, 62>& image)
{
    std::lock_guard lock(impl_->mutex);
    impl_->state.current = image;
}

EmulatedMemory Rx74Emulator::Memory(int slot) const
{
    if (!ValidSlot(slot)) return {};
    std::lock_guard lock(impl_->mutex);
    return impl_->state.memories[static_cast<std::size_t>(slot - 1)];
}

void Rx74Emulator::SetMemory(int slot, const EmulatedMemory& memory)
{
    if (!ValidSlot(slot)) return;
    std::lock_guard lock(impl_->mutex);
    EmulatedMemory& into = impl_->state.memories[static_cast<std::size_t>(slot - 1)];
    into = memory;
    into.name = PadName(memory.name);
}

std::string Rx74Emulator::Logo() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->state.logo;
}

int Rx74Emulator::Exchanges() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->exchanges;
}

bool Rx74Emulator::HungUp() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->hungUp;
}

bool Rx74Emulator::LoadState(const std::string& path)
{
    std::lock_guard lock(impl_->mutex);
    return impl_->state.Load(path);
}

bool Rx74Emulator::SaveState(const std::string& path) const
{
    UnitState copy;
    {
        std::lock_guard lock(impl_->mutex);
        copy = impl_->state;
    }
    return copy.Save(path);
}

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
