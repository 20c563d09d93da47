#include "BodyFields.h"

#include <algorithm>
#include <cstdint>
#include <limits>

using json = nlohmann::ordered_json;

json BodyOf(const ApiRequest& request, const std::vector<std::string>& keys, const char* what)
{
    json body = request.body.empty() ? json::object() : JsonBody(request);
    for (const auto& item : body.items())
        if (std::find(keys.begin(), keys.end(), item.key()) == keys.end())
            throw RequestError(400, std::string(what) + " takes no \"" + item.key() + "\".");
    return body;
}

double NumberField(const json& body, const char* key, double fallback)
{
    if (!body.contains(key)) return fallback;
    if (!body[key].is_number()) throw RequestError(400, std::string("\"") + key + "\" must be a number.");
    return body[key].get<double>();
}

int IntegerField(const json& body, const char* key, int fallback)
{
    if (!body.contains(key)) return fallback;
    if (!body[key].is_number_integer()) throw RequestError(400, std::string("\"") + key + "\" must be a whole number.");
    const auto value = body[key].get<std::int64_t>();
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::string TextField(const json& body, const char* key)
{
    if (!body.contains(key)) return {};
    if (!body[key].is_string()) throw RequestError(400, std::string("\"") + key + "\" must be a text.");
    return body[key].get<std::string>();
}
