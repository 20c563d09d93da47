#include "tests/remote/LockoutAttack.h"

#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// A dropped attacker connects again after this pause (a refused connect too).
constexpr auto kReopenPause = std::chrono::milliseconds(10);

std::string SlowHead(const std::string& host)
{
    return "GET /api/state HTTP/1.1\r\nHost: " + host + "\r\nX-Slow: ";  // and 'a' for ever
}

std::string PushHandshake(const std::string& host)
{
    return "GET /api/events HTTP/1.1\r\nHost: " + host +
           "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
}

}  // namespace

// One connection, opened again whenever it ends. A slow one sends `head` a
// byte per interval and then 'a' for ever; an idle one sends `head` at once.
// Handlers of an earlier connection find the generation moved on and stop.
class LockoutAttack::Attacker {
public:
    Attacker(asio::io_context& io, tcp::endpoint server, std::string head, bool slow,
             std::chrono::milliseconds interval, std::atomic<long>& opened)
        : socket_(io),
          timer_(io),
          server_(server),
          head_(std::move(head)),
          slow_(slow),
          interval_(interval),
          opened_(opened)
    {
    }

    void Open()
    {
        const unsigned generation = ++generation_;
        boost::system::error_code ignored;
        socket_.close(ignored);
        timer_.cancel();
        sent_ = 0;
        socket_.async_connect(server_, [this, generation](const boost::system::error_code& error) {
            if (generation != generation_) return;
            if (error) return Reopen();
            ++opened_;
            Read(generation);
            if (slow_) return SendByte(generation);
            asio::async_write(socket_, asio::buffer(head_), [](const boost::system::error_code&, std::size_t) {});
        });
    }

private:
    void Reopen()
    {
        const unsigned generation = ++generation_;
        timer_.expires_after(kReopenPause);
        timer_.async_wait([this, generation](const boost::system::error_code& error) {
            if (!error && generation == generation_) Open();
        });
    }

    // Whatever the server answers is read and dropped; its close ends the connection.
    void Read(unsigned generation)
    {
        socket_.async_read_some(asio::buffer(incoming_),
                                [this, generation](const boost::system::error_code& error, std::size_t) {
                                    if (generation != generation_) return;
                                    if (error) return Reopen();
                                    Read(generation);
                                });
    }

    void SendByte(unsigned generation)
    {
        byte_ = sent_ < head_.size() ? head_[sent_] : 'a';
        ++sent_;
        asio::async_write(socket_, asio::buffer(&byte_, 1),
                          [this, generation](const boost::system::error_code& error, std::size_t) {
                              if (error || generation != generation_) return;  // the read notices the end
                              timer_.expires_after(interval_);
                              timer_.async_wait([this, generation](const boost::system::error_code& waited) {
                                  if (!waited && generation == generation_) SendByte(generation);
                              });
                          });
    }

    tcp::socket socket_;
    asio::steady_timer timer_;
    tcp::endpoint server_;
    std::string head_;
    bool slow_;
    std::chrono::milliseconds interval_;
    std::atomic<long>& opened_;
    std::array<char, 1024> incoming_{};
    std::size_t sent_ = 0;
    char byte_ = 0;
    unsigned generation_ = 0;
};

struct LockoutAttack::Parts {
    asio::io_context io;
    std::vector<std::unique_ptr<Attacker>> attackers;
};

LockoutAttack::LockoutAttack(const std::string& address, std::uint16_t port, const AttackOptions& options)
    : parts_(std::make_unique<Parts>())
{
    const tcp::endpoint server(asio::ip::make_address(address), port);
    const std::string host = address + ":" + std::to_string(port);
    for (int i = 0; i < options.slowConnections; ++i)
        parts_->attackers.push_back(
            std::make_unique<Attacker>(parts_->io, server, SlowHead(host), true, options.byteInterval, opened_));
    for (int i = 0; i < options.idlePushClients; ++i)
        parts_->attackers.push_back(
            std::make_unique<Attacker>(parts_->io, server, PushHandshake(host), false, options.byteInterval, opened_));
    attackers_ = static_cast<long>(parts_->attackers.size());
    for (const auto& attacker : parts_->attackers) attacker->Open();
    runner_ = std::thread([this] { parts_->io.run(); });
}

LockoutAttack::~LockoutAttack()
{
    parts_->io.stop();
    runner_.join();
}

bool LockoutAttack::WaitUntilAllOpened(std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (opened_.load() < attackers_) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
