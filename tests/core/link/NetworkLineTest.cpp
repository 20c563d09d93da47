// The serial line behind a network serial server, against a loopback
// server the test plays byte by byte: the raw stream, the COM-port control
// set-up and escaping, the hang-up, the wake-up, and every way the opening
// fails, in the words the person reads.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "link/LineErrorText.h"
#include "link/SerialLine.h"
#include "tests/support/LoopbackServer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, DO = 253, DONT = 254;

// What the client sends as its line opens as the link opens it (greeting,
// purge, the five line settings), and the DTR request after.
const Bytes kGreeting{IAC, WILL, 44, IAC, WILL, 0, IAC, DO, 0};
const Bytes kPurge{IAC, SB, 44, 12, 3, IAC, SE};
const Bytes kSettings{IAC, SB, 44, 1, 0x00, 0x00, 0xE1, 0x00, IAC, SE, IAC, SB, 44, 2, 8, IAC, SE, IAC, SB,
                      44,  3,  1,  IAC,  SE,   IAC,  SB,   44,   4,  1,  IAC, SE, IAC, SB, 44, 5, 1, IAC, SE};
const Bytes kRaiseDtr{IAC, SB, 44, 5, 8, IAC, SE};

Bytes Joined(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// The server's answers: ser2net's greeting, then each setting acknowledged
// with `speed` for the speed.
Bytes ServerAnswers(std::uint32_t speed)
{
    const auto b0 = static_cast<std::uint8_t>(speed >> 24), b1 = static_cast<std::uint8_t>(speed >> 16),
               b2 = static_cast<std::uint8_t>(speed >> 8), b3 = static_cast<std::uint8_t>(speed);
    return {IAC, WILL, 3,  IAC, DO, 3,  IAC, DO, 0,   IAC, WILL, 0,   IAC, DO, 44,  IAC, SB, 44, 101, b0,  b1,
            b2,  b3,   IAC, SE, IAC, SB, 44, 102, 8,   IAC, SE,   IAC, SB, 44, 103, 1,   IAC, SE, IAC, SB, 44,
            104, 1,    IAC, SE, IAC, SB, 44, 105, 1,   IAC, SE};
}

// Opens and sets up the line as the link does, on another thread, so the
// test can play the server meanwhile.
std::future<bool> OpenInBackground(SerialLine& line, const std::string& address)
{
    return std::async(std::launch::async, [&line, address] {
        if (!line.Open(address)) return false;
        line.Purge();
        return line.Configure(LineSettings{});
    });
}

Bytes ReadWhatArrives(SerialLine& line, std::size_t count)
{
    Bytes bytes;
    std::uint8_t chunk[64];
    while (bytes.size() < count && line.WaitForEvent() == SerialLine::Event::Input) {
        const int n = line.ReadQueued(chunk, sizeof chunk);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (line.Gone()) break;
    }
    return bytes;
}

// A line whose set-up the server answers with `answers`, then closes or not.
struct SetUpOutcome {
    bool configured = false;
    LineError error;
};
SetUpOutcome SetUpAgainst(const Bytes& answers, bool dropAfter)
{
    LoopbackServer server;
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    std::future<bool> opened = OpenInBackground(*line, server.Address("rfc2217"));
    EXPECT_TRUE(server.Accept());
    EXPECT_EQ(server.Receive(kGreeting.size() + kPurge.size() + kSettings.size()),
              Joined({kGreeting, kPurge, kSettings}));
    server.Send(answers);
    if (dropAfter) server.Drop();
    SetUpOutcome outcome;
    outcome.configured = opened.get();
    outcome.error = line->LastError();
    return outcome;
}

TEST(NetworkLine, RawLinePassesEveryByteAsItIsAndHangsUpWhenTheServerCloses)
{
    LoopbackServer server;
    ASSERT_TRUE(server.Listening());
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    std::future<bool> opened = OpenInBackground(*line, server.Address("tcp"));
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(opened.get());
    EXPECT_TRUE(line->SetDtr(true));

    const Bytes sent{0x01, 0xFF, 0xFF, 0x00, 0xFE};
    line->Write(sent.data(), static_cast<int>(sent.size()));
    EXPECT_EQ(server.Receive(sent.size() + 1, 200), sent);  // nothing added, nothing for the DTR
    server.Send({0xFF, 0xFA, 0x2C});
    EXPECT_EQ(ReadWhatArrives(*line, 3), (Bytes{0xFF, 0xFA, 0x2C}));

    // Wake ends a wait at once.
    std::future<SerialLine::Event> waiting = std::async(std::launch::async, [&line] { return line->WaitForEvent(); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    line->Wake();
    EXPECT_EQ(waiting.get(), SerialLine::Event::Woken);

    server.Send({0x42});
    server.Drop();
    EXPECT_EQ(ReadWhatArrives(*line, 2), Bytes{0x42});  // what came before the close still counts
    EXPECT_TRUE(line->Gone());
    // A gone line sleeps until woken instead of waking on the closed connection.
    waiting = std::async(std::launch::async, [&line] { return line->WaitForEvent(); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    line->Wake();
    EXPECT_EQ(waiting.get(), SerialLine::Event::Woken);
}

TEST(NetworkLine, ComPortControlSetsTheLineUpAndEscapesDataBothWays)
{
    LoopbackServer server;
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    std::future<bool> opened = OpenInBackground(*line, server.Address("rfc2217"));
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(server.Receive(kGreeting.size() + kPurge.size() + kSettings.size()),
              Joined({kGreeting, kPurge, kSettings}));
    // Data that arrives amid the answers is kept for the reader.
    Bytes answers = ServerAnswers(57600);
    answers.insert(answers.begin() + 15, {0x51, IAC, IAC});
    server.Send(answers);
    ASSERT_TRUE(opened.get()) << DescribeLineFailure(line->LastError());
    EXPECT_EQ(server.Receive(6), (Bytes{IAC, DO, 3, IAC, WILL, 3}));  // suppress-go-ahead welcome both ways
    EXPECT_TRUE(line->SetDtr(true));
    EXPECT_EQ(server.Receive(kRaiseDtr.size()), kRaiseDtr);

    const Bytes sent{0x01, 0xFF, 0x02};
    line->Write(sent.data(), static_cast<int>(sent.size()));
    EXPECT_EQ(server.Receive(4), (Bytes{0x01, IAC, IAC, 0x02}));
    // A line-state notification between the data is passed over.
    server.Send({0x10, IAC, SB, 44, 106, 0x60, IAC, SE, IAC, IAC, 0x11});
    EXPECT_EQ(ReadWhatArrives(*line, 5), (Bytes{0x51, 0xFF, 0x10, 0xFF, 0x11}));
}

TEST(NetworkLine, ServerThatRefusesTheSettingsOrGoesAwayIsNamedWithWhatItDid)
{
    const SetUpOutcome wrongSpeed = SetUpAgainst(ServerAnswers(9600), false);
    EXPECT_FALSE(wrongSpeed.configured);
    EXPECT_EQ(wrongSpeed.error.failure, LineFailure::ServerRefusedSettings);
    EXPECT_EQ(DescribeLineFailure(wrongSpeed.error, ""),
              "the server refused the line settings (57600 baud, 8 data bits, no parity, 1 stop bit, no flow "
              "control) (the server set speed 9600 when asked for 57600).Check that a serial server runs on "
              "127.0.0.1 and listens on port " +
                  wrongSpeed.error.hint.substr(wrongSpeed.error.hint.rfind(' ') + 1));

    const SetUpOutcome noOption = SetUpAgainst({IAC, DONT, 44}, false);
    EXPECT_EQ(noOption.error.failure, LineFailure::ServerRefusedSettings);
    EXPECT_EQ(noOption.error.systemText, "the server does not offer COM-port control");

    const Bytes answers = ServerAnswers(57600);
    const Bytes greetingOnly(answers.begin(), answers.begin() + 15);
    const SetUpOutcome dropped = SetUpAgainst(greetingOnly, true);
    EXPECT_EQ(dropped.error.failure, LineFailure::ConnectionDropped);

    const auto start = std::chrono::steady_clock::now();
    const SetUpOutcome silent = SetUpAgainst(greetingOnly, false);
    EXPECT_EQ(silent.error.failure, LineFailure::TimedOut);
    EXPECT_EQ(silent.error.systemText, "the server did not acknowledge the line settings");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
}

TEST(NetworkLine, UnreachableServersFailWithTheReasonTheHostAndThePort)
{
    std::string nobody;
    {
        LoopbackServer closed;
        nobody = closed.Address("tcp");
    }
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    EXPECT_FALSE(line->Open(nobody));
    const std::string port = nobody.substr(nobody.rfind(':') + 1);
    EXPECT_EQ(DescribeLineError(nobody, line->LastError()),
              nobody + ": the server refused the connection: nothing listens on that port (Connection refused).\n"
                       "Check that a serial server runs on 127.0.0.1 and listens on port " + port + ".");

    EXPECT_FALSE(line->Open("rfc2217://quenbar-no-such-host.invalid:4002"));
    EXPECT_EQ(line->LastError().failure, LineFailure::NameNotResolved);
    EXPECT_EQ(DescribeLineFailure(line->LastError()).rfind("the host name could not be resolved (", 0), 0u);

    for (const char* incomplete : {"tcp://10.0.0.5", "tcp://"}) {
        EXPECT_FALSE(line->Open(incomplete));
        EXPECT_EQ(line->LastError().failure, LineFailure::NoSuchDevice);
        EXPECT_EQ(line->LastError().hint, "Name a network line tcp://HOST:PORT or rfc2217://HOST:PORT.");
    }

    // A listener whose queue is full drops the connection request: no answer.
    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    ASSERT_EQ(::getsockname(full, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string busy = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const std::unique_ptr<SerialLine> first = MakeSerialLine();
    ASSERT_TRUE(first->Open(busy));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(line->Open(busy));
    EXPECT_EQ(line->LastError().failure, LineFailure::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2900ms);
    ::close(full);
}

TEST(NetworkLine, BracketedIpv6LiteralsConnect)
{
    LoopbackServer server(true);
    if (!server.Listening()) GTEST_SKIP() << "no IPv6 loopback here";
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    std::future<bool> opened = OpenInBackground(*line, server.Address("tcp"));
    ASSERT_TRUE(server.Accept());
    EXPECT_TRUE(opened.get());
}

}  // namespace
