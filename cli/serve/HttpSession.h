// One HTTP connection: reads a request at a time (bodies up to 64 KiB),
// lets the gate check it, and answers with the page's files or the API, or
// hands the connection over to the push channel.
//
// Everything runs on the io context's one thread.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "ApiTypes.h"

class PushHub;
class RemoteApi;
class RequestGate;

struct SessionParts {
    const RequestGate& gate;
    RemoteApi& api;
    PushHub& hub;
};

// Counts the open HTTP connections while it lives; the count outlives the server's parts.
class ConnectionSlot {
public:
    explicit ConnectionSlot(std::shared_ptr<int> count) : count_(std::move(count)) { ++*count_; }
    ~ConnectionSlot() { --*count_; }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;

private:
    std::shared_ptr<int> count_;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(boost::asio::ip::tcp::socket socket, SessionParts parts, std::shared_ptr<int> connections);
    void Start() { ReadRequest(); }

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    void ReadRequest();
    void OnRequest(const boost::beast::error_code& error);
    void Dispatch(Request request);
    void Reply(ApiResponse response);
    void Linger();
    void Drain(std::shared_ptr<std::array<char, 4096>> scratch, std::size_t drained);

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    SessionParts parts_;
    ConnectionSlot slot_;
    unsigned version_ = 11;
    bool keepAlive_ = false;
};
