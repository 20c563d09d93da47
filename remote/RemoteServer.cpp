#include "RemoteServer.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include "CommandError.h"
#include "ConnectionAdmission.h"
#include "Host.h"
#include "HttpSession.h"
#include "PushChannel.h"
#include "RemoteUnits.h"
#include "RequestGate.h"
#include "RequestRouter.h"
#include "SoundCardDesk.h"

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// Time for the goodbyes to the push clients to leave before the loop ends.
constexpr auto kGoodbyeTime = std::chrono::milliseconds(100);

tcp::endpoint ListenEndpoint(const ServeOptions& options)
{
    boost::system::error_code error;
    const asio::ip::address address = asio::ip::make_address(options.address, error);
    if (error) throw CommandError(kExitBadInput, "Cannot listen on " + options.address + ": not an IP address.");
    if (options.token.empty() && !LocalHostOnly(options.address))
        throw CommandError(kExitBadInput, "Listening on " + options.address + " needs a token.");
    return {address, options.port};
}

}  // namespace

bool LocalHostOnly(const std::string& address) { return address == "127.0.0.1" || address == "::1"; }

struct RemoteServer::Parts {
    explicit Parts(const ServeOptions& options)
        : desk(MakeSoundCardDesk(io.get_executor(), hub)),
          units(hub, *desk, options.fit, {options.report, options.logLines}), acceptor(io), signals(io), goodbye(io)
    {
        for (const ServedUnit& served : options.units) units.Add(served.name, io, served.device, options.timing);
        const tcp::endpoint endpoint = ListenEndpoint(options);
        boost::system::error_code error;
        acceptor.open(endpoint.protocol(), error);
        if (!error) KeepFromChildProcesses(static_cast<std::intptr_t>(acceptor.native_handle()));
        if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        if (!error) acceptor.bind(endpoint, error);
        if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
        if (error) throw CommandError(kExitBadInput, "Cannot listen on " + options.address + ": " + error.message());
        port = acceptor.local_endpoint().port();
        gate.emplace(options.token, port);
        router.emplace(*gate, units);
        units.Connect(options.serveWithoutUnits);
        units.TakeUnitsAdded({&io, options.timing, MakeSerialLine, options.lastServed, options.remember});
        Accept();
    }

    void Accept()
    {
        acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
            if (error) {
                if (acceptor.is_open()) Accept();
                return;
            }
            // Announcements are small and must leave at once, not wait for the last one's acknowledgement.
            KeepFromChildProcesses(static_cast<std::intptr_t>(socket.native_handle()));
            boost::system::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            std::make_shared<HttpSession>(std::move(socket), SessionParts{*router, hub, admission})->Start();
            Accept();
        });
    }

    void BeginStop()
    {
        if (stopping) return;
        stopping = true;
        boost::system::error_code ignored;
        acceptor.close(ignored);
        signals.cancel(ignored);
        // The loop has nothing else to wait for while the units say goodbye.
        auto busy = std::make_shared<asio::executor_work_guard<asio::io_context::executor_type>>(io.get_executor());
        units.Shutdown([this, busy] {
            // Every change answered by now has been announced: the push
            // clients hear it before their goodbye.
            hub.CloseAll();
            goodbye.expires_after(kGoodbyeTime);
            goodbye.async_wait([this](const boost::system::error_code&) { io.stop(); });
        });
    }

    // The admission outlives the io context, whose destruction ends the last sessions.
    ConnectionAdmission admission;
    asio::io_context io;
    PushHub hub;
    std::unique_ptr<SoundCardDesk> desk;
    RemoteUnits units;
    std::optional<RequestGate> gate;
    std::optional<RequestRouter> router;
    tcp::acceptor acceptor;
    asio::signal_set signals;
    asio::steady_timer goodbye;
    std::uint16_t port = 0;
    bool stopping = false;
};

RemoteServer::RemoteServer(const ServeOptions& options) : parts_(std::make_unique<Parts>(options)) {}

RemoteServer::~RemoteServer() = default;

std::uint16_t RemoteServer::Port() const { return parts_->port; }

void RemoteServer::StopOnSignals()
{
    parts_->signals.add(SIGINT);
    parts_->signals.add(SIGTERM);
    parts_->signals.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) parts_->BeginStop();
    });
}

void RemoteServer::Run() { parts_->io.run(); }

void RemoteServer::Stop()
{
    asio::post(parts_->io, [this] { parts_->BeginStop(); });
}
