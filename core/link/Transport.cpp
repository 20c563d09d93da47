#include "link/Transport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "link/PortName.h"
#include "link/ReplyRecogniser.h"
#include "link/SerialLine.h"

std::atomic<int> g_expectedReply{kReplyIdle};
std::atomic<int> g_replyPending{0};
std::uint8_t g_replyBuffer[kReplyBufferSize];

namespace {

constexpr int kChunkSize = 4096;
constexpr int kAccumulatorSize = 4096;
constexpr int kFirstByteCode = 80;    // codes from here on await one byte value
constexpr int kFirstBlockCode = 257;  // 257..511 await a block of code - 256 bytes
constexpr int kLastBlockCode = 511;
constexpr int kDefaultComNumber = 1;

// The one port of the process, from CommInit to CommShutdown.
struct CommPort {
    std::string device;
    LineSettings settings;
    std::unique_ptr<SerialLine> line;
    std::atomic<int> running{0};
    std::thread receiveThread;
    bool open = false;
};

CommPort* g_port = nullptr;

// What the receive thread has collected towards the awaited answer. The
// mutex also orders g_replyBuffer between the receive thread and a sender.
std::mutex g_replyMutex;
std::condition_variable g_replyComplete;
std::uint8_t g_accumulator[kAccumulatorSize];
int g_accumulated = 0;
// Set once the current step has its answer. Bytes that follow belong to no
// step: they must neither make the answer pending again before the sender
// has seen it, nor overwrite the reply it is about to copy. Raising
// g_replyPending for a new step (CommBeginStep does) makes bytes count again.
bool g_stepAnswered = false;
// Set when the device went away (a pulled adapter, a unit that hung up):
// no answer can come any more, so a wait ends at once instead of running
// out its time-out. Cleared when the port is opened again.
bool g_lineGone = false;

void CompleteStep(int code)
{
    g_stepAnswered = true;
    g_expectedReply.store(code + 1);
    g_accumulated = 0;
    g_replyPending.store(0, std::memory_order_release);
}

// Runs for every chunk read from the port, holding g_replyMutex.
void RecogniseLocked(const std::uint8_t* chunk, int count)
{
    if (g_stepAnswered && g_replyPending.load() == 0) return;
    const int room = kAccumulatorSize - g_accumulated;
    const int kept = std::min(count, room);  // bytes beyond the accumulator are dropped
    std::memcpy(g_accumulator + g_accumulated, chunk, static_cast<std::size_t>(kept));
    g_accumulated += kept;

    const int code = g_expectedReply.load();
    if (code >= kFirstBlockCode && code <= kLastBlockCode) {
        g_replyPending.store(1);
        if (g_accumulated < code - 256) return;
        std::memcpy(g_replyBuffer, g_accumulator, static_cast<std::size_t>(std::min(g_accumulated, kReplyBufferSize)));
        CompleteStep(code);
    } else if (code >= kFirstByteCode) {
        g_replyPending.store(1);
        // A code of 256 or more never equals a byte, so it never matches.
        if (std::find(g_accumulator, g_accumulator + g_accumulated, code) != g_accumulator + g_accumulated)
            CompleteStep(code);
    } else {
        // Idle, or any answer awaited: the bytes end the wait and are not kept.
        g_accumulated = 0;
        g_replyPending.store(0, std::memory_order_release);
    }
}

}  // namespace

void RecogniseChunk(const std::uint8_t* chunk, int count)
{
    bool complete;
    {
        std::lock_guard lock(g_replyMutex);
        RecogniseLocked(chunk, count);
        complete = g_replyPending.load() == 0;
    }
    if (complete) g_replyComplete.notify_all();
}

namespace {

void SetLineGone(bool gone)
{
    {
        std::lock_guard lock(g_replyMutex);
        g_lineGone = gone;
    }
    if (gone) g_replyComplete.notify_all();
}

// Sleeps in the line's event wait and drains what arrives into the
// recogniser, until CommClose clears `running` and wakes it.
void CommReceiveThread(CommPort* port)
{
    std::uint8_t chunk[kChunkSize];
    while (port->running.load()) {
        if (port->line->WaitForEvent() == SerialLine::Event::Input) {
            int count;
            while (port->running.load() && (count = CommRead(chunk, kChunkSize)) > 0) RecogniseChunk(chunk, count);
        }
        if (port->line->Gone()) SetLineGone(true);
    }
}

}  // namespace

int CommInit()
{
    if (g_port != nullptr) return 1;
    g_port = new (std::nothrow) CommPort;
    return g_port != nullptr ? 1 : -1;
}

void CommSetPortDevice(const std::string& device)
{
    if (g_port != nullptr) g_port->device = device;
}

int CommOpen()
{
    if (g_port == nullptr) return 0;
    CommClose();
    if (g_port->device.empty()) g_port->device = ResolveComDevice(kDefaultComNumber);
    g_port->settings = LineSettings{};
    g_port->line = MakeSerialLine();
    if (!g_port->line->Open(g_port->device)) return 0;
    g_port->line->Purge();
    SetLineGone(false);
    const int setup = CommSetup();
    if (setup == 0) {
        g_port->line->Close();
        return 0;
    }
    g_port->running.store(1);
    try {
        g_port->receiveThread = std::thread(CommReceiveThread, g_port);
    } catch (const std::system_error&) {
        g_port->running.store(0);
        g_port->line->Close();
        return 0;
    }
    g_port->line->SetDtr(true);
    g_port->open = true;
    return setup;
}

int CommSetup()
{
    if (g_port == nullptr || !g_port->line) return 0;
    return g_port->line->Configure(g_port->settings) ? 1 : 0;
}

int CommClose()
{
    if (g_port == nullptr || !g_port->open) return 1;
    g_port->running.store(0);
    g_port->line->Wake();
    g_port->receiveThread.join();
    g_port->line->SetDtr(false);
    g_port->line->Purge();
    g_port->line->Close();
    g_port->open = false;
    return 1;
}

int CommShutdown()
{
    if (g_port == nullptr) return 1;
    CommClose();
    delete g_port;
    g_port = nullptr;
    return 1;
}

int CommRead(std::uint8_t* destination, int maxBytes)
{
    if (g_port == nullptr || !g_port->line) return 0;
    return g_port->line->ReadQueued(destination, maxBytes);
}

int CommWrite(const std::uint8_t* bytes, int count)
{
    if (CommIsOpen()) g_port->line->Write(bytes, count);
    return 1;
}

int CommWaitReply(int timeoutMs)
{
    std::unique_lock lock(g_replyMutex);
    g_replyComplete.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [] { return g_replyPending.load(std::memory_order_acquire) == 0 || g_lineGone; });
    return g_replyPending.load(std::memory_order_acquire);
}

bool CommIsOpen() { return g_port != nullptr && g_port->open; }

void CommBeginStep(int expectedReply)
{
    std::lock_guard lock(g_replyMutex);
    g_accumulated = 0;
    g_stepAnswered = false;
    g_expectedReply.store(expectedReply);
    g_replyPending.store(1);
}

void CommCopyReply(std::uint8_t* destination, int count)
{
    std::lock_guard lock(g_replyMutex);
    std::memcpy(destination, g_replyBuffer, static_cast<std::size_t>(std::clamp(count, 0, kReplyBufferSize)));
}
