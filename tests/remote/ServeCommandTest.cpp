// quenbar-cli serve run as users run it: what it prints, the token it
// asks for beyond the local host, the clean stop on SIGTERM, and what it
// refuses to serve.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/cli/ScratchDirectory.h"
#include "tests/remote/RemoteRig.h"

namespace {

using namespace std::chrono_literals;

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether a TCP port of 127.0.0.2 is free to listen on, as serve listens:
// connections that the server closed may linger in TIME_WAIT, no listener.
bool PortFree(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(0x7F000002);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

TEST(ServeCommand, BeyondLocalhostPrintsTheTokenAddressAndStopsCleanlyOnSigtermAndCtrlC)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        Rx74Emulator unit;
        ASSERT_TRUE(unit.Start());
        const CliProcess serve = StartCli({"serve", "--port", unit.DevicePath(), "--listen", "127.0.0.2:0"});
        std::string printed;
        for (int wait = 0; wait < 200 && printed.find("Stop with Ctrl+C.") == std::string::npos; ++wait) {
            std::this_thread::sleep_for(25ms);
            printed = FileText(serve.outPath);
        }
        std::smatch page;
        ASSERT_TRUE(std::regex_search(printed, page,
                                      std::regex(R"(Remote page: http://127\.0\.0\.2:(\d+)/#token=([0-9a-f]{32})\n)")))
            << printed << FileText(serve.errPath);
        const auto port = static_cast<std::uint16_t>(std::stoi(page[1]));
        const std::string token = page[2];
        EXPECT_NE(printed.find("Token: " + token + "\n"), std::string::npos);
        EXPECT_NE(printed.find("██ ▄▄▄▄▄ █"), std::string::npos) << "no QR code:\n" << printed;  // a finder pattern

        EXPECT_EQ(RemoteClient("127.0.0.2", port).Get("/api/state").status, 401);
        EXPECT_EQ(RemoteClient("127.0.0.2", port, token).Get("/api/state").status, 200);
        EXPECT_FALSE(PortFree(port));

        ::kill(serve.pid, signal);
        const CliRun stopped = FinishCli(serve);
        EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
        EXPECT_NE(stopped.out.find("Stopped: the unit is disconnected and its port closed."), std::string::npos);
        const std::vector<Payload> received = unit.ReceivedPayloads();
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back(), Payload({0xCA, 0x00}));  // the disconnect
        EXPECT_TRUE(PortFree(port));
    }
}

// Serves until it has printed its addresses; returns what it printed.
std::string AwaitServing(const CliProcess& serve)
{
    std::string printed;
    for (int wait = 0; wait < 400 && printed.find("Stop with Ctrl+C.") == std::string::npos; ++wait) {
        std::this_thread::sleep_for(25ms);
        printed = FileText(serve.outPath);
    }
    return printed;
}

// What the Windows Start-menu entry relies on: without --port, the one unit
// that answers (and next time the port served last), and with --open the
// page in the browser.
TEST(ServeCommand, WithoutAPortServesTheOneUnitThatAnswersRemembersItAndOpensThePage)
{
    Rx74Emulator unit, other;
    ASSERT_TRUE(unit.Start());
    ASSERT_TRUE(other.Start());
    const ScratchDirectory scratch("serve-choice");
    const std::string dir = scratch.Path().string();
    ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
    const std::string opened = dir + "/opened";
    // The browser it starts outlives the server: it must hold none of its sockets,
    // or the port stays taken and the next serve's page hangs.
    const std::string sockets = dir + "/sockets";
    std::ofstream(dir + "/xdg-open") << "#!/bin/sh\nls -l /proc/$$/fd | grep -c socket: > " << sockets
                                     << "\necho \"$1\" > " << opened << "\n";
    ::chmod((dir + "/xdg-open").c_str(), 0755);
    ::setenv("PATH", (dir + ":" + std::getenv("PATH")).c_str(), 1);
    ::setenv("QUENBAR_COM7", unit.DevicePath().c_str(), 1);

    for (const char* why : {"the unit answered on ", "the unit answers on "}) {
        const CliProcess serve = StartCli({"serve", "--listen", "127.0.0.1:0", "--open"});
        const std::string printed = AwaitServing(serve);
        EXPECT_NE(printed.find(std::string("No --port given: ") + why + unit.DevicePath()), std::string::npos)
            << printed << FileText(serve.errPath);
        std::smatch page;
        ASSERT_TRUE(std::regex_search(printed, page, std::regex(R"(Remote page: (http://127\.0\.0\.1:\d+/)\n)")));
        for (int wait = 0; wait < 200 && FileText(opened).empty(); ++wait) std::this_thread::sleep_for(25ms);
        EXPECT_EQ(FileText(opened), page[1].str() + "\n");
        EXPECT_EQ(FileText(sockets), "0\n");
        ::kill(serve.pid, SIGTERM);
        EXPECT_EQ(FinishCli(serve).exitCode, 0);
        ::unlink(opened.c_str());
    }
    EXPECT_EQ(FileText(dir + "/quenbar/last-port"), unit.DevicePath() + "\n");

    // Two units answering: neither is chosen, and the page serves without a
    // unit until the person chooses one, which is then the port served last.
    ::unlink((dir + "/quenbar/last-port").c_str());
    ::setenv("QUENBAR_COM8", other.DevicePath().c_str(), 1);
    const CliProcess two = StartCli({"serve", "--listen", "127.0.0.1:0"});
    const std::string printed = AwaitServing(two);
    EXPECT_NE(printed.find("Units answered on "), std::string::npos) << printed;
    EXPECT_NE(printed.find("Serving no unit yet"), std::string::npos) << printed;
    std::smatch port;
    ASSERT_TRUE(std::regex_search(printed, port, std::regex(R"(Remote page: http://127\.0\.0\.1:(\d+)/)")));
    const RemoteClient client("127.0.0.1", static_cast<std::uint16_t>(std::stoi(port[1])));
    EXPECT_EQ(client.Get("/api/state").status, 503);
    const json ports = client.Get("/api/ports").Json();
    for (const Rx74Emulator* answering : {&unit, &other}) {
        const auto listed = std::find_if(ports["ports"].begin(), ports["ports"].end(),
                                         [&](const json& p) { return p["device"] == answering->DevicePath(); });
        ASSERT_NE(listed, ports["ports"].end()) << ports.dump();
        EXPECT_EQ((*listed)["status"], "answered");
    }
    const HttpReply added = client.Request("POST", "/api/units", R"({"device": "COM8"})", "application/json");
    ASSERT_EQ(added.status, 200) << added.body;
    ASSERT_EQ(client.Set("sub/gain", 77).status, 200);
    EXPECT_EQ(other.CurrentImage()[32], 77);
    EXPECT_EQ(FileText(dir + "/quenbar/last-port"), other.DevicePath() + "\n");
    const HttpReply report = client.Get("/api/report.pdf");
#if QUENBAR_CLI_REPORT
    EXPECT_EQ(report.status, 200);
    EXPECT_EQ(report.headers.at("content-type"), "application/pdf");
    EXPECT_EQ(report.body.rfind("%PDF", 0), 0u) << report.body.substr(0, 100);
#else
    EXPECT_EQ(report.status, 501);
#endif
    ::kill(two.pid, SIGTERM);
    EXPECT_EQ(FinishCli(two).exitCode, 0);
    ::unsetenv("QUENBAR_COM7");
    ::unsetenv("QUENBAR_COM8");
}

// Several units: those without a name are named after their place, and
// --trace gives each its own lines, led by its device.
TEST(ServeCommand, ServesSeveralUnitsNamingThoseUnnamedAndTracesEach)
{
    Rx74Emulator first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    const CliProcess serve = StartCli({"--trace", "serve", "--listen", "127.0.0.1:0", "--port",
                                       "Mains=" + first.DevicePath(), "--port", second.DevicePath()});
    const std::string printed = AwaitServing(serve);
    EXPECT_NE(printed.find("Serving Mains on " + first.DevicePath() + ".\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Serving Unit 2 on " + second.DevicePath() + ".\n"), std::string::npos) << printed;
    ::kill(serve.pid, SIGTERM);
    const CliRun stopped = FinishCli(serve);
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    for (const std::string& device : {first.DevicePath(), second.DevicePath()})
        EXPECT_NE(stopped.err.find(device + ": "), std::string::npos) << stopped.err;
}

TEST(ServeCommand, RefusesWhatItCannotServe)
{
    Rx74Emulator unit, silent({.silent = true});
    ASSERT_TRUE(unit.Start());
    ASSERT_TRUE(silent.Start());
    const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(busy, reinterpret_cast<const sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(busy, 1), 0);
    ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string taken = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{"--port", unit.DevicePath(), "serve", "--listen", "localhost"}, 2, "--listen takes ADDRESS:PORT"},
        {{"--port", unit.DevicePath(), "serve", "--listen", "127.0.0.1:65536"}, 2, "--listen takes ADDRESS:PORT"},
        {{"--port", unit.DevicePath(), "serve", "--listen", "nowhere:80"}, 2, "not an IP address"},
        {{"--port", unit.DevicePath(), "serve", "--token", "short"}, 2, "--token takes 16..128"},
        {{"--port", unit.DevicePath(), "serve", "--listen", taken}, 2, "Cannot listen on 127.0.0.1"},
        {{"--port", silent.DevicePath(), "serve", "--listen", "127.0.0.1:0"}, 3, "Connect fail!"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    ::close(busy);
    EXPECT_TRUE(unit.ReceivedBytes().empty()) << "the unit was reached although the server could not serve";
}

}  // namespace
