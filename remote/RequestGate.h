// Who may use the server. Bound to the local host without a token, it
// answers only requests that name the local host (a web page elsewhere
// cannot reach it through a name of its own); with a token, every API call
// and the push channel must carry it. Either way a request sent by a page
// of another origin is refused, and no response allows other origins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ApiTypes.h"

// The headers (and query token) of a request that the gate reads; empty
// when absent.
struct GateHeaders {
    std::string_view host;
    std::string_view origin;
    std::string_view fetchSite;      // Sec-Fetch-Site
    std::string_view authorization;  // "Bearer TOKEN"
    std::string_view queryToken;     // ?token= of the push channel, which a browser cannot give headers
};

class RequestGate {
public:
    // An empty token: no token, local host only.
    RequestGate(std::string token, std::uint16_t port);

    // The page and its files: the host rule only, as they hold nothing of the unit.
    std::optional<ApiResponse> RefusePage(const GateHeaders& headers) const;
    // The API and the push channel: host, origin and token.
    std::optional<ApiResponse> RefuseApi(const GateHeaders& headers) const;

private:
    bool HostAllowed(std::string_view host) const;
    bool TokenMatches(std::string_view given) const;

    std::string token_;
    std::string port_;
};

// A fresh token: 128 random bits as 32 characters of [0-9a-f].
std::string NewToken();
// Whether a token given with --token may be used: 16..128 characters of
// letters, digits, '-' and '_' (it travels in addresses as it is).
bool ValidToken(std::string_view token);
