#include "link/Link.h"

#include <system_error>
#include <utility>

#include "link/LineErrorText.h"
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
        if (traffic_.Observed())
            traffic_.Emit(TrafficKind::OpenFailed, {}, kReplyIdle, 0, DescribeLineError(device_, lastError_));
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
    const bool dtrRaised = line_->SetDtr(true);
    open_ = true;
    answering_.store(true);
    traffic_.Emit(TrafficKind::Opened, {}, kReplyIdle, 0, device_);
    if (!dtrRaised) traffic_.Emit(TrafficKind::Note, {}, kReplyIdle, 0, "the driver refused to raise DTR (not needed)");
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
    traffic_.Emit(TrafficKind::Closed);
}

// Sleeps in the line's event wait and drains what arrives into the
// recogniser, until Close clears `running_` and wakes it.
void Link::ReceiveLoop()
{
    std::uint8_t chunk[kChunkSize];
    bool goneReported = false;
    while (running_.load()) {
        if (line_->WaitForEvent() == SerialLine::Event::Input) {
            int count;
            while (running_.load() && (count = line_->ReadQueued(chunk, kChunkSize)) > 0) {
                int none = -1;
                stepFirstByte_.compare_exchange_strong(none, chunk[0]);
                traffic_.Emit(TrafficKind::Received, {chunk, static_cast<std::size_t>(count)});
                recogniser_.Feed(chunk, count);
            }
        }
        if (line_->Gone()) {
            if (!std::exchange(goneReported, true)) traffic_.Emit(TrafficKind::HungUp);
            recogniser_.SetLineGone(true);
        }
    }
}

void Link::Write(const std::uint8_t* bytes, int count)
{
    if (!open_) return;
    // Reported before the write, so the log never shows the answer first.
    traffic_.Emit(TrafficKind::Sent, {bytes, static_cast<std::size_t>(count)}, stepReply_);
    line_->Write(bytes, count);
}

bool Link::WaitForAnswer(int timeoutMs)
{
    const auto since = std::chrono::steady_clock::now();
    const bool answered = recogniser_.WaitForAnswer(timeoutMs);
    if (traffic_.Observed()) ReportStepEnd(answered, since);
    NoteAnswer(answered);
    return answered;
}

void Link::ReportStepEnd(bool answered, std::chrono::steady_clock::time_point since)
{
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since);
    const int waitedMs = static_cast<int>(waited.count());
    if (!answered) {
        traffic_.Emit(cancelled_.load() ? TrafficKind::Cancelled : TrafficKind::TimedOut, {}, stepReply_, waitedMs);
        return;
    }
    // The answer as the step awaited it: the block, or the one byte.
    std::uint8_t answer[kReplyBufferSize];
    int size = 0;
    if (stepReply_ > 256 && stepReply_ - 256 <= kReplyBufferSize) {
        size = stepReply_ - 256;
        recogniser_.CopyReply(answer, size);
    } else if (stepReply_ >= kReplyP && stepReply_ <= 0xFF) {
        answer[size++] = static_cast<std::uint8_t>(stepReply_);
    }
    traffic_.Emit(TrafficKind::Answered, {answer, static_cast<std::size_t>(size)}, stepReply_, waitedMs);
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
