// MakeSerialLine's line: it picks its backend when it is opened, so every
// caller that names a device (a path, COMn or a network address) gets the
// right one through the one line factory.
#include <memory>
#include <string>

#include "link/NetworkAddress.h"
#include "link/SerialLine.h"

namespace {

class ChosenSerialLine final : public SerialLine {
public:
    bool Open(const std::string& device) override
    {
        if (line_) line_->Close();
        line_ = NamesNetworkLine(device) ? MakeNetworkSerialLine() : MakeLocalSerialLine();
        return line_->Open(device);
    }
    bool Configure(const LineSettings& settings) override { return line_ && line_->Configure(settings); }
    const LineError& LastError() const override { return line_ ? line_->LastError() : notOpened_; }
    bool SetDtr(bool raised) override { return !line_ || line_->SetDtr(raised); }
    void Purge() override
    {
        if (line_) line_->Purge();
    }
    void Close() override
    {
        if (line_) line_->Close();
    }
    int ReadQueued(std::uint8_t* destination, int maxBytes) override
    {
        return line_ ? line_->ReadQueued(destination, maxBytes) : 0;
    }
    void Write(const std::uint8_t* bytes, int count) override
    {
        if (line_) line_->Write(bytes, count);
    }
    Event WaitForEvent() override { return line_ ? line_->WaitForEvent() : Event::Gone; }
    void Wake() override
    {
        if (line_) line_->Wake();
    }
    bool Gone() const override { return line_ && line_->Gone(); }

private:
    std::unique_ptr<SerialLine> line_;
    LineError notOpened_;
};

}  // namespace

std::unique_ptr<SerialLine> MakeSerialLine() { return std::make_unique<ChosenSerialLine>(); }
