#include "ServeCommand.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "CommandError.h"
#include "Host.h"
#include "InterruptCatcher.h"
#include "OnlineCommands.h"
#include "PortCommands.h"
#include "RemoteServer.h"
#ifdef QUENBAR_REPORT_COMMAND
#include "ReportCommand.h"
#endif
#include "RequestGate.h"
#include "TerminalQr.h"
#include "UnitSession.h"
#include "unit/UnitProbe.h"

namespace {

struct ServeArgs {
    std::vector<std::string> ports;  // [NAME=]PORT each
    std::string listen = "127.0.0.1:8074";
    std::string token;
    bool open = false;
};

CommandError BadListen(const std::string& text)
{
    return CommandError(kExitBadInput, "--listen takes ADDRESS:PORT, e.g. 127.0.0.1:8074 or [::1]:8074: " + text);
}

// "ADDRESS:PORT", with an IPv6 address in brackets.
void ParseListen(const std::string& text, ServeOptions& options)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) throw BadListen(text);
    std::string address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    else if (address.find(':') != std::string::npos)
        throw BadListen(text);
    unsigned port = 0;
    const char* first = text.data() + colon + 1;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(first, end, port);
    if (first == end || error != std::errc{} || stop != end || port > 65535) throw BadListen(text);
    options.address = address;
    options.port = static_cast<std::uint16_t>(port);
}

std::vector<std::string> PageAddresses(const ServeOptions& options, std::uint16_t port)
{
    std::vector<std::string> hosts{options.address};
    if (options.address == "0.0.0.0" || options.address == "::") hosts = NetworkAddresses();
    if (hosts.empty()) hosts = {"127.0.0.1"};
    std::vector<std::string> urls;
    for (const std::string& host : hosts) {
        const std::string name = host.find(':') == std::string::npos ? host : "[" + host + "]";
        urls.push_back("http://" + name + ":" + std::to_string(port) + "/" +
                       (options.token.empty() ? "" : "#token=" + options.token));
    }
    return urls;
}

void PrintWelcome(const ServeOptions& options, std::uint16_t port)
{
    const std::vector<std::string> urls = PageAddresses(options, port);
    if (options.units.empty()) std::cout << "Serving no unit yet: choose its port on the page.\n";
    if (options.units.size() == 1) std::cout << "Serving the unit on " << options.units.front().device << ".\n";
    for (std::size_t i = 0; options.units.size() > 1 && i < options.units.size(); ++i)
        std::cout << "Serving " << options.units[i].name << " on " << options.units[i].device << ".\n";
    for (const std::string& url : urls) std::cout << "Remote page: " << url << '\n';
    if (!options.token.empty()) std::cout << "Token: " << options.token << '\n' << TerminalQr(urls.front());
    std::cout << "Stop with Ctrl+C." << std::endl;
}

// Where the device served last is kept, so that a start without --port
// (the Windows Start-menu entry) finds the unit where it was.
std::filesystem::path LastDeviceFile()
{
    const std::string folder = StateFolder();
    return folder.empty() ? std::filesystem::path() : std::filesystem::path(folder) / "last-port";
}

std::optional<std::string> LastServedDevice()
{
    std::ifstream in(LastDeviceFile());
    std::string device;
    if (!std::getline(in, device) || device.empty()) return std::nullopt;
    return device;
}

// Best effort: a state folder that cannot be written only means that the
// next start without --port probes every device.
void RememberServedDevice(const std::string& device)
{
    const std::filesystem::path file = LastDeviceFile();
    if (file.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream(file) << device << '\n';
}

// The device to serve when no port is named: the one served last if the
// unit answers there, else the one unit that a probe of every serial device
// finds; none when no unit (or more than one) answers, which the page then
// lets the person choose among.
std::optional<std::string> ChooseDevice()
{
    if (const std::optional<std::string> last = LastServedDevice()) {
        if (ProbeDevice(*last).outcome == ProbeOutcome::UnitAnswered) {
            std::cout << "No --port given: the unit answers on " << *last << ", the port served last." << std::endl;
            return *last;
        }
    }
    try {
        const std::string found = FindTheUnit();
        std::cout << "No --port given: the unit answered on " << found << "." << std::endl;
        return found;
    } catch (const CommandError& error) {
        std::cout << "No --port given. " << error.what() << std::endl;
        return std::nullopt;
    }
}

void OpenPage(const std::string& url)
{
    if (!OpenInBrowser(url)) std::cout << "No browser could be started: open the address above." << std::endl;
}

// "NAME=PORT" or "PORT"; a PORT alone is named after its place ("Unit 2").
// What comes before an '=' is a name only if it could not be part of a
// device's path or address.
ServedUnit ServedPort(const std::string& text, std::size_t place)
{
    const std::size_t equals = text.find('=');
    const std::string before = text.substr(0, std::min(equals, text.size()));
    if (equals == std::string::npos || before.find_first_of("/\\:") != std::string::npos)
        return {"Unit " + std::to_string(place), PortDevice(text)};
    return {before, PortDevice(text.substr(equals + 1))};
}

void Serve(const std::string& portName, const ServeArgs& args)
{
    ServeOptions options;
    ParseListen(args.listen, options);
    if (!args.token.empty() && !ValidToken(args.token))
        throw CommandError(kExitBadInput, "--token takes 16..128 letters, digits, '-' or '_'.");
    options.token = args.token;
    if (options.token.empty() && !LocalHostOnly(options.address)) options.token = NewToken();
    std::vector<std::string> ports = args.ports;
    if (ports.empty() && !portName.empty()) ports.push_back(portName);  // --port before the command
    for (const std::string& port : ports) options.units.push_back(ServedPort(port, options.units.size() + 1));
    if (options.units.empty()) {
        // Chosen or not, the page is served: it finds the unit where none was found.
        options.serveWithoutUnits = true;
        if (const std::optional<std::string> device = ChooseDevice()) options.units.push_back({"Unit 1", *device});
    }
    options.lastServed = LastServedDevice().value_or("");
    options.remember = RememberServedDevice;
#ifdef QUENBAR_REPORT_COMMAND
    options.report = UnitReportMaker();
#endif

    RemoteServer server(options);
    if (!options.units.empty()) RememberServedDevice(options.units.front().device);
    server.StopOnSignals();
    PrintWelcome(options, server.Port());
    if (args.open) OpenPage(PageAddresses(options, server.Port()).front());
    {
        const ConsoleCloseStop closing([&server] { server.Stop(); });
        server.Run();
    }
    std::cout << "Stopped: the unit is disconnected and its port closed." << std::endl;
}

}  // namespace

void AddServeCommand(CLI::App& app, std::string& port, CommandAction& action)
{
    auto args = std::make_shared<ServeArgs>();
    CLI::App* serve =
        app.add_subcommand("serve", "Serve a web page and an HTTP API that work the unit from the network");
    serve->add_option("--port", args->ports,
                      std::string(kPortHelp) + "; repeated, one unit each, each perhaps named: NAME=PORT");
    serve->add_option("--listen", args->listen, "ADDRESS:PORT to listen on (default 127.0.0.1:8074)");
    serve->add_option("--token", args->token, "the token clients must give (default: a fresh one beyond localhost)");
    serve->add_flag("--open", args->open,
                    "also open the page in the default browser (the address is printed all the same)");
    serve->callback([&port, &action, args] { action = [&port, args] { Serve(port, *args); }; });
}
