// The fields of a request's JSON body as the sound card's desks read them:
// each of the kind it must be, a 400 naming the field otherwise, and no
// key the request does not take (a client's mistake must not be carried
// out as something else).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ApiTypes.h"

// The body (none: {}), refused with 400 for a key not among `keys` ("`what` takes no ...").
nlohmann::ordered_json BodyOf(const ApiRequest& request, const std::vector<std::string>& keys, const char* what);
// The field's value, `fallback` without it.
double NumberField(const nlohmann::ordered_json& body, const char* key, double fallback);
// A whole number; one beyond int's range is left to the settings' check as the nearest int.
int IntegerField(const nlohmann::ordered_json& body, const char* key, int fallback);
// A text; empty without it.
std::string TextField(const nlohmann::ordered_json& body, const char* key);
