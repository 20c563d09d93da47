#include "link/Link.h"

#include <system_error>

#include "link/PortName.h"

namespace {

constexpr int kChunkSize = 4096;
constexpr int kDefaultComNumber = 1;

}  // namespace

Link::Link(ParameterModel& model, LineFactory makeLine) : model_(model), makeLine_(std::move(makeLine)) {}

Link::~Link() { Close(); }

bool Link::Open()
{
    Close();
    if (device_.empty()) device_ = ResolveComDevice(kDefaultComNumber);
    lastError_ = {};
    line_ = makeLine_();
    if (!line_) {
        lastError_.failure = LineFailure::Other;
        return false;
    }
    if (!line_->Open(device_)) {
        lastError_ = line_->LastError();
        return false;
    }
    line_->Purge();
    recogniser_.SetLineGone(false);
    if (!line_->Configure(LineSettings{})) {
        lastError_ = line_->LastError();
        line_->Close();
        return false;
    }
    running_.store(true);
    try {
        receiveThread_ = std::thread(&Link::ReceiveLoop, this);
    } catch (const std::system_error&) {
        running_.store(false);
        line_->Close();
        return false;
    }
    line_->SetDtr(true);
    open_ = true;
    answering_.store(true);
    return true;
}

void Link::Close()
{
    if (!open_) return;
    running_.store(false);
    line_->Wake();
    receiveThread_.join();
    line_->SetDtr(false);
    line_->Purge();
    line_->Close();
    open_ = false;
}

// Sleeps in the line's event wait and drains what arrives into the
// recogniser, until Close clears `running_` and wakes it.
void Link::ReceiveLoop()
{
    std::uint8_t chunk[kChunkSize];
    while (running_.load()) {
        if (line_->WaitForEvent() == SerialLine::Event::Input) {
            int count;
            while (running_.load() && (count = line_->ReadQueued(chunk, kChunkSize)) > 0)
                recogniser_.Feed(chunk, count);
        }
        if (line_->Gone()) recogniser_.SetLineGone(true);
    }
}

void Link::Write(const std::uint8_t* bytes, int count)
{
    if (open_) line_->Write(bytes, count);
}

bool Link::WaitForAnswer(int timeoutMs)
{
    const bool answered = recogniser_.WaitForAnswer(timeoutMs);
    NoteAnswer(answered);
    return answered;
}

bool Link::Step(int expectedReply, const std::uint8_t* bytes, int count, int timeoutMs)
{
    if (cancelled_.load()) return false;  // a cancelled operation sends nothing more
    BeginStep(expectedReply);
    Write(bytes, count);
    return WaitForAnswer(timeoutMs);
}

void Link::NoteAnswer(bool answered)
{
    // A cancelled step or a closed port says nothing about the unit.
    if (!answered && (cancelled_.load() || !open_)) return;
    if (answering_.exchange(answered) != answered && onAnsweringChanged) onAnsweringChanged(answered);
}

void Link::Cancel()
{
    cancelled_.store(true);
    recogniser_.SetInterrupted(true);
}

void Link::Resume()
{
    recogniser_.SetInterrupted(false);
    cancelled_.store(false);
}
