// Reading a JSON document that people wrote by hand: every value is taken
// through a Node that knows its JSON path, so the first thing wrong with the
// document is reported with the path and the reason ("$.memories[2].lr.gainDb:
// missing"), and reading stops there.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

class JsonDocumentError : public std::runtime_error {
public:
    JsonDocumentError(const std::string& path, const std::string& reason)
        : std::runtime_error(path + ": " + reason), path_(path), reason_(reason)
    {
    }
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

class JsonNode {
public:
    // The document itself, at path "$".
    explicit JsonNode(const nlohmann::ordered_json& value, std::string path = "$")
        : value_(value), path_(std::move(path))
    {
    }

    const nlohmann::ordered_json& Value() const { return value_; }
    const std::string& Path() const { return path_; }

    // Throws JsonDocumentError at this node's path.
    [[noreturn]] void Fail(const std::string& reason) const;

    // An object holding no keys but these (else "unknown key").
    void ExpectKeys(std::initializer_list<std::string_view> keys) const;
    void ExpectKeys(const std::vector<std::string>& keys) const;

    JsonNode At(std::string_view key) const;  // the key must be there
    std::optional<JsonNode> Find(std::string_view key) const;

    // An array of exactly `size` entries, and one of them.
    void ExpectArray(std::size_t size) const;
    JsonNode At(std::size_t index) const;

    bool Bool() const;
    std::int64_t Integer(std::int64_t min, std::int64_t max) const;
    double Number() const;
    const std::string& String() const;

    // The value as it reads in the document, for messages.
    std::string Text() const { return value_.dump(); }

private:
    void ExpectObject() const;

    const nlohmann::ordered_json& value_;
    std::string path_;
};
