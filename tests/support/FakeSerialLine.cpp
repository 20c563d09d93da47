#include "tests/support/FakeSerialLine.h"

#include <algorithm>
#include <utility>

// The program's end of the line: what a Link holds.
class FakeSerialLine::ProgramEnd final : public SerialLine {
public:
    explicit ProgramEnd(FakeSerialLine& line) : line_(line) {}
    ~ProgramEnd() override { Close(); }

    bool Open(const std::string& device) override
    {
        std::lock_guard lock(line_.mutex_);
        line_.device_ = device;
        error_ = line_.openFailure_.value_or(LineError{});
        if (line_.openFailure_) return false;
        line_.open_ = opened_ = true;
        line_.hungUp_ = line_.gone_ = line_.woken_ = false;
        return true;
    }

    bool Configure(const LineSettings&) override
    {
        std::lock_guard lock(line_.mutex_);
        error_ = line_.setUpFailure_.value_or(LineError{});
        return !line_.setUpFailure_;
    }

    const LineError& LastError() const override { return error_; }

    bool SetDtr(bool raised) override
    {
        std::lock_guard lock(line_.mutex_);
        if (opened_) line_.dtr_ = raised;
        return true;
    }

    void Purge() override
    {
        std::lock_guard lock(line_.mutex_);
        if (opened_) line_.input_.clear();
    }

    void Close() override
    {
        std::lock_guard lock(line_.mutex_);
        if (!opened_) return;
        opened_ = line_.open_ = false;
        line_.input_.clear();
    }

    int ReadQueued(std::uint8_t* destination, int maxBytes) override
    {
        std::lock_guard lock(line_.mutex_);
        if (!opened_ || line_.gone_ || line_.input_.empty() || maxBytes <= 0) return 0;
        Bytes& chunk = line_.input_.front();
        const int count = std::min(maxBytes, static_cast<int>(chunk.size()));
        std::copy_n(chunk.begin(), count, destination);
        if (count == static_cast<int>(chunk.size())) {
            line_.input_.pop_front();
        } else {
            chunk.erase(chunk.begin(), chunk.begin() + count);
        }
        return count;
    }

    void Write(const std::uint8_t* bytes, int count) override
    {
        Responder responder;
        {
            std::lock_guard lock(line_.mutex_);
            if (!opened_ || line_.hungUp_ || count <= 0) return;
            line_.written_.insert(line_.written_.end(), bytes, bytes + count);
            responder = line_.responder_;
        }
        if (responder) responder(bytes, count);
    }

    Event WaitForEvent() override
    {
        std::unique_lock lock(line_.mutex_);
        if (!opened_) return Event::Gone;
        line_.event_.wait(
            lock, [this] { return line_.woken_ || (!line_.gone_ && (!line_.input_.empty() || line_.hungUp_)); });
        if (std::exchange(line_.woken_, false)) return Event::Woken;
        if (!line_.input_.empty()) return Event::Input;
        line_.gone_ = true;
        return Event::Gone;
    }

    void Wake() override
    {
        std::lock_guard lock(line_.mutex_);
        line_.woken_ = true;
        line_.event_.notify_all();
    }

    bool Gone() const override
    {
        std::lock_guard lock(line_.mutex_);
        return opened_ && line_.gone_;
    }

private:
    FakeSerialLine& line_;
    LineError error_;
    bool opened_ = false;  // guarded by the line's mutex
};

LineFactory FakeSerialLine::Factory()
{
    return [this] { return std::make_unique<ProgramEnd>(*this); };
}

void FakeSerialLine::SetResponder(Responder responder)
{
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FakeSerialLine::Supply(Bytes chunk)
{
    std::lock_guard lock(mutex_);
    if (!open_ || hungUp_ || chunk.empty()) return;  // nobody listens: the bytes are lost
    input_.push_back(std::move(chunk));
    event_.notify_all();
}

void FakeSerialLine::HangUp()
{
    std::lock_guard lock(mutex_);
    hungUp_ = true;
    event_.notify_all();
}

void FakeSerialLine::FailOpens(std::optional<LineError> error)
{
    std::lock_guard lock(mutex_);
    openFailure_ = std::move(error);
}

void FakeSerialLine::FailSetUps(std::optional<LineError> error)
{
    std::lock_guard lock(mutex_);
    setUpFailure_ = std::move(error);
}

FakeSerialLine::Bytes FakeSerialLine::Written() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

void FakeSerialLine::ClearWritten()
{
    std::lock_guard lock(mutex_);
    written_.clear();
}

bool FakeSerialLine::IsOpen() const
{
    std::lock_guard lock(mutex_);
    return open_;
}

bool FakeSerialLine::DtrRaised() const
{
    std::lock_guard lock(mutex_);
    return open_ && dtr_;
}

std::string FakeSerialLine::Device() const
{
    std::lock_guard lock(mutex_);
    return device_;
}
