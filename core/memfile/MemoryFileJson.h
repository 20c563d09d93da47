// The memory file as a JSON document that people read and edit:
//
//   {"format": "quenbar-memory-file", "version": 1,
//    "memories": [{"slot": 1, "used": true, "name": "Stage",
//                  "lr": {...}, "sub": {...}}, ... six of them]}
//
// The channels are in units (memfile/ChannelValuesJson.h). Nothing of the
// file is lost, so a file turned into JSON and back is the same file byte
// for byte, whatever it holds:
//   - "usedByte" beside "used" when the used byte is neither 0 nor 1;
//   - a value outside its field's range as {"raw": step, "outOfRange": true};
//   - "otherBytes" in a memory: the record's bytes that no field holds
//     (slot number, tag, padding, name bytes after its end, the constant
//     bytes and unused bits of the image) where they differ from a record
//     this program writes: {"offset in the record": "hex bytes"};
//   - "otherBytes" in the document: the same for the header (offsets 0..15)
//     and the trailer (688..703); "length" for a file shorter than 704 bytes,
//     "bytesAfterEnd" (hex) for what follows the 704 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "memfile/JsonReader.h"

inline constexpr char kMemoryFileJsonFormat[] = "quenbar-memory-file";
inline constexpr int kMemoryFileJsonVersion = 1;
// A larger file is no memory file (one has 704 bytes) and is not turned
// into a document.
inline constexpr std::size_t kMemoryFileJsonLargestFile = std::size_t{1} << 20;

// The document of a whole file (of any length) that the loader accepts.
// Throws std::invalid_argument for one that fails the format check.
nlohmann::ordered_json MemoryFileToJson(std::span<const std::uint8_t> fileBytes);

// The document as text, as it is written to a file: two-space indents and
// a newline at the end.
std::string MemoryFileJsonText(std::span<const std::uint8_t> fileBytes);

// The file that a document describes. Throws JsonDocumentError for the
// first thing wrong with the document: a missing or unknown key, a wrong
// type, a value off its field's steps, bytes that contradict the fields.
std::vector<std::uint8_t> MemoryFileFromJson(const nlohmann::ordered_json& document);

// Name bytes as JSON text: each byte is its own character (Latin-1), so any
// byte a unit or a file holds prints, and prints the same way every time.
std::string NameText(std::string_view bytes);
