// The serial line behind a network serial server ("tcp://HOST:PORT" raw,
// "rfc2217://HOST:PORT" with Telnet COM-port control): the unit's bytes go
// over a TCP connection, as they are (raw) or escaped (COM-port control).
//
// It is written here rather than taken from a library: Debian's gensio was
// tried, but its blocking API failed and it has no Windows build, and
// Boost.Asio is no dependency of the core. What the line needs of the
// protocol is small (ComPortControl.h).
//
// A raw connection has no line settings of its own: the server's
// configuration sets its serial port. A COM-port control connection asks
// for the settings and waits for the server to acknowledge every one.
// A connection the server closes is a hang-up, as a pulled adapter is.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "link/ComPortControl.h"
#include "link/NetSocket.h"
#include "link/NetworkAddress.h"
#include "link/SerialLine.h"

namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr int kSettingsTimeoutMs = 2000;  // for the server to acknowledge the line settings
constexpr int kWriteBudgetMs = 1000;      // longest a full send queue may hold up a write
constexpr int kChunkSize = 4096;

class NetworkSerialLine final : public SerialLine {
public:
    ~NetworkSerialLine() override { Close(); }

    bool Open(const std::string& device) override
    {
        Close();
        error_ = {};
        const std::optional<NetworkAddress> address = ParseNetworkAddress(device);
        if (!address)
            return Fail({LineFailure::NoSuchDevice, {}, "Name a network line tcp://HOST:PORT or rfc2217://HOST:PORT."});
        serverHint_ = "Check that a serial server runs on " + address->host + " and listens on port " +
                      address->port + ".";
        if (!socket_.Connect(address->host, address->port, kConnectTimeoutMs, error_)) return Fail(error_);
        comPortControl_ = address->protocol == NetworkAddress::Protocol::ComPortControl;
        gone_ = false;
        if (comPortControl_) Send(control_.Greeting());
        return true;
    }

    bool Configure(const LineSettings& settings) override
    {
        if (!comPortControl_) return true;
        Send(ComPortControl::SettingsRequests(settings));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSettingsTimeoutMs);
        std::string why;
        for (;;) {
            const ComPortControl::Verdict verdict = control_.SettingsVerdict(settings, &why);
            if (verdict == ComPortControl::Verdict::Accepted) return true;
            if (verdict == ComPortControl::Verdict::Refused)
                return Fail({LineFailure::ServerRefusedSettings, why, serverHint_});
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                  std::chrono::steady_clock::now());
            if (left.count() <= 0 || socket_.WaitReadable(static_cast<int>(left.count())) != NetSocket::Wait::Readable)
                return Fail({LineFailure::TimedOut, "the server did not acknowledge the line settings", serverHint_});
            std::lock_guard lock(receiveMutex_);
            if (!TakeFromSocket()) return Fail({LineFailure::ConnectionDropped, {}, serverHint_});
        }
    }

    const LineError& LastError() const override { return error_; }

    bool SetDtr(bool raised) override
    {
        if (comPortControl_ && socket_.IsOpen()) Send(ComPortControl::DtrRequest(raised));
        return true;
    }

    void Purge() override
    {
        if (!socket_.IsOpen()) return;
        std::lock_guard lock(receiveMutex_);
        while (TakeFromSocket() && !received_.empty()) received_.clear();
        if (comPortControl_) Send(ComPortControl::PurgeRequest());
    }

    void Close() override
    {
        socket_.Close();
        std::lock_guard lock(receiveMutex_);
        received_.clear();
        control_ = ComPortControl{};
        comPortControl_ = false;
    }

    int ReadQueued(std::uint8_t* destination, int maxBytes) override
    {
        if (!socket_.IsOpen()) return 0;
        std::lock_guard lock(receiveMutex_);
        if (received_.empty() && !gone_) TakeFromSocket();
        const int count = std::min(maxBytes, static_cast<int>(received_.size()));
        std::copy_n(received_.begin(), count, destination);
        received_.erase(received_.begin(), received_.begin() + count);
        return count;
    }

    void Write(const std::uint8_t* bytes, int count) override
    {
        if (!socket_.IsOpen()) return;
        if (!comPortControl_) {
            std::lock_guard lock(sendMutex_);
            socket_.Send(bytes, count, kWriteBudgetMs);
            return;
        }
        ComPortControl::Bytes escaped;
        ComPortControl::AppendEscaped(bytes, count, escaped);
        Send(escaped);
    }

    Event WaitForEvent() override
    {
        if (!socket_.IsOpen()) return Event::Gone;
        {
            std::lock_guard lock(receiveMutex_);
            if (!received_.empty()) return Event::Input;
        }
        // A closed connection is not watched any more: it would wake us for ever.
        return socket_.WaitReadable(-1, !gone_) == NetSocket::Wait::Woken ? Event::Woken : Event::Input;
    }

    void Wake() override { socket_.Wake(); }

    bool Gone() const override { return gone_; }

private:
    bool Fail(LineError error)
    {
        if (error.hint.empty()) error.hint = serverHint_;
        error_ = std::move(error);
        socket_.Close();
        return false;
    }

    // Reads what has arrived into received_ (the serial data of it) until
    // some data is there or nothing more has arrived; false, and the line
    // gone, once the connection is closed. receiveMutex_ held.
    bool TakeFromSocket()
    {
        std::uint8_t chunk[kChunkSize];
        while (received_.empty()) {
            int count = 0;
            const NetSocket::Received outcome = socket_.Receive(chunk, kChunkSize, count);
            if (outcome == NetSocket::Received::Nothing) return true;
            if (outcome == NetSocket::Received::Closed) {
                gone_ = true;
                return false;
            }
            if (!comPortControl_) {
                received_.insert(received_.end(), chunk, chunk + count);
                continue;
            }
            ComPortControl::Bytes replies;
            control_.Receive(chunk, count, received_, replies);
            if (!replies.empty()) Send(replies);
        }
        return true;
    }

    void Send(const ComPortControl::Bytes& bytes)
    {
        std::lock_guard lock(sendMutex_);
        socket_.Send(bytes.data(), static_cast<int>(bytes.size()), kWriteBudgetMs);
    }

    NetSocket socket_;
    bool comPortControl_ = false;
    std::string serverHint_;
    LineError error_;
    std::atomic<bool> gone_{false};
    std::mutex sendMutex_;     // one sender at a time: the writer, or the receive thread's replies
    std::mutex receiveMutex_;  // guards control_ and received_
    ComPortControl control_;
    ComPortControl::Bytes received_;  // serial data read from the connection, not yet handed out
};

}  // namespace

std::unique_ptr<SerialLine> MakeNetworkSerialLine() { return std::make_unique<NetworkSerialLine>(); }
