#include "memfile/JsonReader.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsIdentifier(std::string_view key)
{
    return !key.empty() && !std::isdigit(static_cast<unsigned char>(key.front())) &&
           std::all_of(key.begin(), key.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// "$.lr" for a plain key, "$[\"0\"]" for any other.
std::string KeyPath(const std::string& path, std::string_view key)
{
    if (IsIdentifier(key)) return path + "." + std::string(key);
    return path + "[" + nlohmann::ordered_json(std::string(key)).dump() + "]";
}

}  // namespace

void JsonNode::Fail(const std::string& reason) const { throw JsonDocumentError(path_, reason); }

void JsonNode::ExpectObject() const
{
    if (!value_.is_object()) Fail("expected an object");
}

void JsonNode::ExpectKeys(std::initializer_list<std::string_view> keys) const
{
    ExpectKeys(std::vector<std::string>(keys.begin(), keys.end()));
}

void JsonNode::ExpectKeys(const std::vector<std::string>& keys) const
{
    ExpectObject();
    for (const auto& [key, value] : value_.items())
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            throw JsonDocumentError(KeyPath(path_, key), "unknown key");
}

JsonNode JsonNode::At(std::string_view key) const
{
    std::optional<JsonNode> found = Find(key);
    if (!found) throw JsonDocumentError(KeyPath(path_, key), "missing");
    return *found;
}

std::optional<JsonNode> JsonNode::Find(std::string_view key) const
{
    ExpectObject();
    const auto it = value_.find(std::string(key));
    if (it == value_.end()) return std::nullopt;
    return JsonNode(*it, KeyPath(path_, key));
}

void JsonNode::ExpectArray(std::size_t size) const
{
    if (!value_.is_array()) Fail("expected an array");
    if (value_.size() != size)
        Fail("expected " + std::to_string(size) + " entries, found " + std::to_string(value_.size()));
}

JsonNode JsonNode::At(std::size_t index) const
{
    return JsonNode(value_.at(index), path_ + "[" + std::to_string(index) + "]");
}

bool JsonNode::Bool() const
{
    if (!value_.is_boolean()) Fail("expected true or false, found " + Text());
    return value_.get<bool>();
}

std::int64_t JsonNode::Integer(std::int64_t min, std::int64_t max) const
{
    if (!value_.is_number_integer()) Fail("expected a whole number, found " + Text());
    // Numbers beyond 64 bits parse as unsigned or as floating point.
    const std::int64_t value =
        value_.is_number_unsigned() && value_.get<std::uint64_t>() > INT64_MAX ? INT64_MAX : value_.get<std::int64_t>();
    if (value < min || value > max) Fail(Text() + " is outside " + std::to_string(min) + ".." + std::to_string(max));
    return value;
}

double JsonNode::Number() const
{
    if (!value_.is_number()) Fail("expected a number, found " + Text());
    return value_.get<double>();
}

const std::string& JsonNode::String() const
{
    if (!value_.is_string()) Fail("expected a string, found " + Text());
    return value_.get_ref<const std::string&>();
}
