// The push channel: one WebSocket per client, over which the server
// announces every change. Clients mostly listen: the one message they may
// send is {"type": "subscribe", "log": true|false}, which starts or stops
// the units' communication log lines ("log" messages) for that client, as
// /api/events?log=1 does from the start. Anything else they send is ignored.
// A client that does not keep up (its queue grows past a bound) is dropped,
// and on reconnecting it is sent the whole state afresh. When the server
// stops, each client is sent what was announced before the goodbye.
//
// Everything runs on the io context's one thread.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "ConnectionAdmission.h"

class PushSession;

class PushHub {
public:
    // The messages a client gets first: the whole state.
    std::function<std::vector<std::string>()> welcome;

    void Join(const std::shared_ptr<PushSession>& session);
    void Leave(const std::shared_ptr<PushSession>& session);
    void Broadcast(std::string message);
    // To the clients that asked for the communication log only.
    void BroadcastLog(std::string message);
    // Whether any client asked for it.
    bool LogWanted() const;
    // Says goodbye to every client (close frame "going away") once it has
    // been sent what is waiting for it; clients that come later are sent
    // the goodbye at once.
    void CloseAll();

private:
    std::set<std::shared_ptr<PushSession>> sessions_;
    bool closing_ = false;
};

class PushSession : public std::enable_shared_from_this<PushSession> {
public:
    PushSession(boost::asio::ip::tcp::socket socket, PushHub& hub, AdmissionTicket ticket);

    // Completes the WebSocket handshake of the request already read and checked.
    void Accept(boost::beast::http::request<boost::beast::http::string_body> request);
    void Send(std::shared_ptr<const std::string> message);
    void Close();
    bool WantsLog() const { return wantsLog_; }

private:
    void Read();
    void Take(const std::string& message);
    void Write();
    void SayGoodbye();
    void Drop();

    boost::beast::websocket::stream<boost::beast::tcp_stream> socket_;
    boost::beast::flat_buffer incoming_;
    std::deque<std::shared_ptr<const std::string>> outgoing_;
    PushHub& hub_;
    AdmissionTicket ticket_;
    bool writing_ = false;
    bool closing_ = false;
    bool wantsLog_ = false;
};
