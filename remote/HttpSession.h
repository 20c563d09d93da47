// One HTTP connection: reads a request at a time (heads up to 8 KiB, bodies
// up to the router's BodyLimit), has the router answer it, or hands the connection over to
// the push channel. It holds its place in the admission while it lives: a
// guest until a request shows it may use the unit, with a short deadline
// for each request; trusted after that.
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
#include "ConnectionAdmission.h"

class PushHub;
class RequestRouter;

struct SessionParts {
    RequestRouter& router;
    PushHub& hub;
    ConnectionAdmission& admission;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(boost::asio::ip::tcp::socket socket, SessionParts parts);
    // Takes its place in the admission (as a guest) and reads the first request.
    void Start();

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    void ReadRequest();
    void OnHead(const boost::beast::error_code& error);
    void OnRequest(const boost::beast::error_code& error);
    // The answer to a request that cannot be read for its size; none for other errors.
    std::optional<ApiResponse> Unreadable(const boost::beast::error_code& error) const;
    bool RequestLineTooLong() const;
    // Answers and closes.
    void Refuse(ApiResponse response);
    void Dispatch(Request request);
    void Reply(ApiResponse response);
    void Linger();
    void Drain(std::shared_ptr<std::array<char, 4096>> scratch, std::size_t drained);
    void Close();

    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    SessionParts parts_;
    AdmissionTicket ticket_;
    unsigned version_ = 11;
    bool keepAlive_ = false;
};
