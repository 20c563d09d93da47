// The remote's request handling without sockets: any HTTP request (method,
// path, headers, token, body) through the gate and the router to the API,
// against two emulated units on in-memory lines (the second's name needs
// escaping in a path). Every request must be answered, once, and one
// answered with an error must not have sent either unit a byte. The sound
// card is left out: a measurement plays in real time, and sets mutes even
// when it fails.
//
// Input: one byte that picks the server (odd: beyond the local host, with
// the token below; even: the local host without a token), then the request
// as it comes on the wire.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/beast/http/parser.hpp>

#include "remote/PushChannel.h"
#include "remote/RemoteUnits.h"
#include "remote/RequestGate.h"
#include "remote/RequestRouter.h"
#include "remote/SoundCardDesk.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/InMemoryUnit.h"

namespace {

namespace http = boost::beast::http;
using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 8074;
constexpr auto kAnswerTime = 5s;

// A server without a sound card: the desk takes none of the requests.
class NoSoundCard : public SoundCardDesk {
public:
    bool Route(const DeskUnit&, const ApiRequest&, const std::vector<std::string>&, const Respond&) override
    {
        return false;
    }
    bool Busy(const RemoteUnit&) const override { return false; }
    void Stop(std::function<void()> done) override { done(); }
    void HistoryChanged(const RemoteUnit&, const std::string&) override {}
};

struct Server {
    Server()
    {
        // No read-backs: the lines carry only what the requests cause.
        const UnitTiming timing{std::chrono::hours(1), 100ms};
        units.Add("Mains", io, "/dev/fuzzed-unit", timing, first.Factory());
        units.Add("Sub towers", io, "/dev/fuzzed-second", timing, second.Factory());
        units.Connect();
    }

    InMemoryUnit first;
    InMemoryUnit second;
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> busy{io.get_executor()};
    PushHub hub;
    NoSoundCard desk;
    RemoteUnits units{hub, desk};
    RequestGate open{"", kPort};
    RequestGate guarded{"fuzz-token-0123456789", kPort};
    RequestRouter openRouter{open, units};
    RequestRouter guardedRouter{guarded, units};
};

std::optional<RequestRouter::Request> Parse(const std::uint8_t* data, std::size_t size)
{
    http::request_parser<http::string_body> parser;
    parser.header_limit(8 * 1024);
    parser.body_limit(64 * 1024);
    parser.eager(true);
    boost::beast::error_code error;
    parser.put(boost::asio::buffer(data, size), error);
    if (!error && !parser.is_done()) parser.put_eof(error);
    if (error || !parser.is_done()) return std::nullopt;
    return parser.release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Server server;
    if (size == 0) return 0;
    std::optional<RequestRouter::Request> request = Parse(data + 1, size - 1);
    if (!request) return 0;
    RequestRouter& router = (data[0] & 1) != 0 ? server.guardedRouter : server.openRouter;

    for (InMemoryUnit* unit : {&server.first, &server.second}) {
        unit->Line().ClearWritten();
        unit->Unit().ClearReceived();  // both would grow with every input
    }
    int answers = 0;
    int status = 0;
    const auto respond = [&](ApiResponse response) {
        ++answers;
        status = response.status;
    };
    if (router.Handle(*request, respond) == RequestRouter::Route::PushChannel) {
        FUZZ_CHECK(answers == 0);
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
    while (answers == 0 && std::chrono::steady_clock::now() < deadline) server.io.run_one_for(10ms);
    FUZZ_CHECK(answers == 1);
    if (status >= 400) FUZZ_CHECK(server.first.Line().Written().empty() && server.second.Line().Written().empty());
    return 0;
}
