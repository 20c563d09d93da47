#include "RequestGate.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "Host.h"

namespace {

constexpr std::string_view kBearer = "bearer";
constexpr std::size_t kTokenBytes = 16;
constexpr std::string_view kLocalNames[] = {"127.0.0.1", "localhost", "[::1]"};

ApiResponse Forbidden(const std::string& reason) { return ErrorResponse(403, reason); }

// The credentials of "Bearer TOKEN", the scheme in any case; empty for another scheme.
std::string_view BearerToken(std::string_view authorization)
{
    if (authorization.size() <= kBearer.size() || authorization[kBearer.size()] != ' ') return {};
    for (std::size_t i = 0; i < kBearer.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != kBearer[i]) return {};
    const std::string_view credentials = authorization.substr(kBearer.size());
    return credentials.substr(std::min(credentials.find_first_not_of(' '), credentials.size()));
}

}  // namespace

RequestGate::RequestGate(std::string token, std::uint16_t port) : token_(std::move(token)), port_(std::to_string(port))
{
}

std::optional<ApiResponse> RequestGate::RefusePage(const GateHeaders& headers) const
{
    if (!HostAllowed(headers.host)) return Forbidden("This server answers to localhost and 127.0.0.1 only.");
    return std::nullopt;
}

std::optional<ApiResponse> RequestGate::RefuseApi(const GateHeaders& headers) const
{
    if (std::optional<ApiResponse> refused = RefusePage(headers)) return refused;
    // A browser names the page that sent a request; only this server's own may.
    const bool foreignOrigin = !headers.origin.empty() && headers.origin != "http://" + std::string(headers.host);
    const bool foreignSite = headers.fetchSite == "cross-site" || headers.fetchSite == "same-site";
    if (foreignOrigin || foreignSite) return Forbidden("Cross-origin requests are refused.");
    if (token_.empty()) return std::nullopt;
    const std::string_view bearer = BearerToken(headers.authorization);
    if (TokenMatches(bearer.empty() ? headers.queryToken : bearer)) return std::nullopt;
    ApiResponse refused = ErrorResponse(401, "A valid token is required.");
    refused.headers.emplace_back("WWW-Authenticate", "Bearer");
    return refused;
}

// On port 80 a browser names the host without the port.
bool RequestGate::HostAllowed(std::string_view host) const
{
    if (!token_.empty()) return true;
    return std::any_of(std::begin(kLocalNames), std::end(kLocalNames), [&](std::string_view name) {
        return host == std::string(name) + ":" + port_ || (port_ == "80" && host == name);
    });
}

// Compares every character whatever the first difference, so the time
// taken tells nothing about the token.
bool RequestGate::TokenMatches(std::string_view given) const
{
    if (given.size() != token_.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < given.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token_[i]);
    return difference == 0;
}

std::string NewToken()
{
    std::array<unsigned char, kTokenBytes> bytes{};
    SystemRandomBytes(bytes.data(), bytes.size());
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0xF];
    }
    return token;
}

bool ValidToken(std::string_view token)
{
    return token.size() >= 16 && token.size() <= 128 && std::all_of(token.begin(), token.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
           });
}
