#include "link/NetworkAddress.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kHighestPort = 65535;

struct Scheme {
    const char* prefix;
    NetworkAddress::Protocol protocol;
};
constexpr Scheme kSchemes[] = {{"tcp://", NetworkAddress::Protocol::Raw},
                               {"rfc2217://", NetworkAddress::Protocol::ComPortControl}};

bool StartsWithAnyCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

const Scheme* SchemeOf(const std::string& name)
{
    for (const Scheme& scheme : kSchemes)
        if (StartsWithAnyCase(name, scheme.prefix)) return &scheme;
    return nullptr;
}

bool IsPortNumber(const std::string& port)
{
    if (port.empty() || port.size() > 5) return false;
    if (!std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    const int number = std::stoi(port);
    return number >= 1 && number <= kHighestPort;
}

}  // namespace

bool NamesNetworkLine(const std::string& name) { return SchemeOf(name) != nullptr; }

std::optional<NetworkAddress> ParseNetworkAddress(const std::string& name)
{
    const Scheme* scheme = SchemeOf(name);
    if (!scheme) return std::nullopt;
    const std::string rest = name.substr(std::char_traits<char>::length(scheme->prefix));
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    std::string host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":[]") != std::string::npos) {
        return std::nullopt;  // an IPv6 literal must be bracketed, or its port is ambiguous
    }
    if (host.empty() || host.find_first_of("/ ") != std::string::npos || !IsPortNumber(port)) return std::nullopt;
    return NetworkAddress{scheme->protocol, host, port};
}
