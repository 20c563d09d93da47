// The address of a serial line behind a network serial server, as a person
// names it in place of a device: "tcp://HOST:PORT" for the raw byte stream,
// "rfc2217://HOST:PORT" for a Telnet connection with COM-port control. An
// IPv6 literal goes in brackets: "tcp://[::1]:4001".
#pragma once

#include <optional>
#include <string>

struct NetworkAddress {
    enum class Protocol { Raw, ComPortControl };
    Protocol protocol = Protocol::Raw;
    std::string host;  // without the brackets of an IPv6 literal
    std::string port;  // decimal, 1 to 65535
};

// True when the name starts with one of the schemes above, in any case.
bool NamesNetworkLine(const std::string& name);
// The address, or nothing when the name is no well-formed one.
std::optional<NetworkAddress> ParseNetworkAddress(const std::string& name);
