// What the API works with, free of the HTTP library: a request as the
// router needs it, the response it gives, and the error that ends a request
// early with a status and a reason.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandError.h"

struct ApiRequest {
    std::string method;  // "GET", "PUT", ...
    std::string path;    // without the query
    std::string contentType;
    std::string body;
    std::string query;  // after the '?', undecoded
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the content type
};

// A request refused: the status and the reason the client is told.
class RequestError : public std::runtime_error {
public:
    RequestError(int status, const std::string& reason) : std::runtime_error(reason), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// Text that is not UTF-8 (a request's path echoed in a reason) is answered
// with U+FFFD in its place rather than failing the response.
inline ApiResponse JsonResponse(const nlohmann::ordered_json& body, int status = 200)
{
    return {
        status, "application/json", body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace), {}};
}

// {"error": reason}, and whatever `extra` adds.
inline ApiResponse ErrorResponse(int status, const std::string& reason,
                                 nlohmann::ordered_json extra = nlohmann::ordered_json::object())
{
    nlohmann::ordered_json body{{"error", reason}};
    body.update(extra);
    return JsonResponse(body, status);
}

// A check of the command line's; its refusal is the request's, with `status`.
template <typename Check>
void CheckAsRequest(int status, const Check& check)
{
    try {
        check();
    } catch (const CommandError& error) {
        throw RequestError(status, error.what());
    }
}

// The checks of a request that end it with RequestError: 405 unless the
// method is `allowed`, 415 unless the body has the content type, 400 unless
// the body is a JSON object (and, for OneKeyBody, holds no key but `key`
// and `optional`: another key is a client's mistake that must not be
// carried out as something else).
void RequireMethod(const ApiRequest& request, std::string_view allowed);
void RequireContentType(const ApiRequest& request, std::string_view type);
nlohmann::ordered_json JsonBody(const ApiRequest& request);
nlohmann::ordered_json OneKeyBody(const ApiRequest& request, const std::string& key, const std::string& optional = {});
// The value of the query's parameter `name`, %XX escapes and '+' undone; none without it.
std::optional<std::string> QueryParameter(const ApiRequest& request, std::string_view name);
// A text with its %XX escapes undone; 400 for a bad escape (`what` names the text).
std::string PercentDecoded(std::string_view text, const std::string& what);
