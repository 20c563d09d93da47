// What a request gets, apart from the connection it came on: the gate's
// verdict, then the API's answer or the page's files. The push channel's
// handshake, once the gate let it through, is the connection's to take over.
//
// Runs on the io context's one thread.
#pragma once

#include <cstdint>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "RemoteUnits.h"

class RequestGate;

inline constexpr std::uint64_t kMaxBody = 64 * 1024;
inline constexpr std::uint64_t kMaxMeasurementBody = 4 * 1024 * 1024;

class RequestRouter {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    enum class Route { Answered, PushChannel };

    RequestRouter(const RequestGate& gate, RemoteUnits& units) : gate_(gate), units_(units) {}

    // Whether a request with this head shows that its connection may use the
    // unit: it carries the token, or, on a server without one, the gate lets
    // it through to the API.
    bool Trusts(const Request& head) const;
    // The most bytes the body of a request with this head may hold: 64 KiB,
    // or 4 MiB for a measurement upload the gate lets through (a dense
    // export reaches 1-2 MiB).
    std::uint64_t BodyLimit(const Request& head) const;
    // Answers the request through `respond` (once, perhaps later), or leaves
    // the push channel's handshake to the connection.
    Route Handle(Request& request, const RemoteApi::Respond& respond);

private:
    const RequestGate& gate_;
    RemoteUnits& units_;
};
