#include "memfile/MemoryFileJson.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <stdexcept>

#include "memfile/ChannelValuesJson.h"
#include "memfile/MemoryFile.h"
#include "model/MemoryImage.h"
#include "model/Model.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kNameSize = 16;
constexpr std::size_t kShortestReadable = kTrailerOffset + 8;  // the trailer's "VNB1.00M"

std::size_t RecordOffset(int i) { return kSlotRecordsOffset + kSlotRecordSize * static_cast<std::size_t>(i); }

std::string Hex(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    return hex;
}

std::vector<std::uint8_t> BytesFromHex(const JsonNode& node)
{
    const std::string& hex = node.String();
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    bool good = !hex.empty() && hex.size() % 2 == 0;
    for (std::size_t i = 0; good && i < bytes.size(); ++i) {
        const char* pair = hex.data() + 2 * i;
        const auto [end, error] = std::from_chars(pair, pair + 2, bytes[i], 16);
        good = error == std::errc{} && end == pair + 2;
    }
    if (!good) node.Fail("expected bytes as pairs of hexadecimal digits, such as \"00ff\"");
    return bytes;
}

// Runs of bytes where `actual` differs from `standard`, keyed by offset + first.
void AddDifferences(json& into, std::span<const std::uint8_t> actual, std::span<const std::uint8_t> standard,
                    std::size_t first)
{
    for (std::size_t i = 0; i < actual.size();) {
        if (actual[i] == standard[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < actual.size() && actual[end] != standard[end]) ++end;
        into[std::to_string(first + i)] = Hex(actual.subspan(i, end - i));
        i = end;
    }
}

// An area of bytes [begin, end) that "otherBytes" may write, and its name.
struct Area {
    std::size_t begin;
    std::size_t end;
    const char* name;
};

// Writes each run of an "otherBytes" object into `bytes`; each run must lie
// inside one of the areas.
void ApplyOtherBytes(const JsonNode& node, std::span<std::uint8_t> bytes, std::initializer_list<Area> areas)
{
    if (!node.Value().is_object()) node.Fail("expected an object");
    for (const auto& item : node.Value().items()) {
        const std::string& key = item.key();
        const JsonNode run = node.At(key);
        std::size_t offset = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), offset);
        if (key.empty() || error != std::errc{} || end != key.data() + key.size())
            run.Fail("a key of otherBytes is a byte offset such as \"14\"");
        const std::vector<std::uint8_t> patch = BytesFromHex(run);
        const bool inside = std::any_of(areas.begin(), areas.end(), [&](const Area& area) {
            return offset >= area.begin && offset < area.end && patch.size() <= area.end - offset;
        });
        if (!inside) {
            std::string where;
            for (const Area& area : areas) where += std::string(where.empty() ? "" : " or ") + area.name;
            run.Fail("these bytes do not all lie in " + where);
        }
        std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
}

// What a record says through its fields: compared before and after the
// other bytes are written, which must leave it alone.
struct RecordFields {
    std::uint8_t usedByte;
    std::string name;
    std::array<std::uint8_t, kImageSize> image;

    bool operator==(const RecordFields&) const = default;
};

std::string NameOf(const SlotRecord& record) { return std::string(record.name, strnlen(record.name, kNameSize)); }

ParameterModel ExactModel(const SlotRecord& record)
{
    ParameterModel model{};
    ImageToModelExact(model, record.imageBlock.data());
    return model;
}

RecordFields FieldsOf(const SlotRecord& record)
{
    RecordFields fields{record.usedByte, NameOf(record), {}};
    ModelToImage(ExactModel(record), fields.image.data());
    return fields;
}

SlotRecord RecordFrom(const RecordFields& fields)
{
    SlotRecord record;
    record.usedByte = fields.usedByte;
    std::memcpy(record.name, fields.name.data(), std::min(fields.name.size(), kNameSize));
    std::copy(fields.image.begin(), fields.image.end(), record.imageBlock.begin());
    return record;
}

// The name as JSON gives it, back in bytes: each character one byte.
std::string NameBytes(const JsonNode& node)
{
    const std::string& text = node.String();
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned code = lead;
        if (lead >= 0x80) {
            // Two-byte sequences up to U+00FF; anything longer is above it.
            code = (lead & 0xE0) == 0xC0 && i + 1 < text.size()
                       ? ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu)
                       : 0x100;
        }
        if (code == 0 || code > 0xFF) node.Fail("a name holds the characters U+0001..U+00FF only");
        bytes += static_cast<char>(code);
    }
    if (bytes.size() > kNameSize) node.Fail("a name holds at most 16 characters");
    return bytes;
}

RecordFields ReadMemory(const JsonNode& memory)
{
    const bool used = memory.At("used").Bool();
    std::uint8_t usedByte = used ? 1 : 0;
    if (const std::optional<JsonNode> byte = memory.Find("usedByte")) {
        usedByte = static_cast<std::uint8_t>(byte->Integer(0, 255));
        if ((usedByte == 1) != used) byte->Fail("contradicts \"used\", which is true exactly for the used byte 1");
    }
    RecordFields fields{usedByte, NameBytes(memory.At("name")), {}};
    ParameterModel model{};
    ChannelValuesFromJson(memory.At("lr"), model, kSlotLeftRight);
    ChannelValuesFromJson(memory.At("sub"), model, kSlotSub);
    ModelToImage(model, fields.image.data());
    return fields;
}

// The six memories of the document in slot order, each slot once.
std::array<std::optional<JsonNode>, kMemorySlots> MemoriesBySlot(const JsonNode& memories)
{
    memories.ExpectArray(kMemorySlots);
    std::array<std::optional<JsonNode>, kMemorySlots> bySlot;
    for (std::size_t i = 0; i < kMemorySlots; ++i) {
        const JsonNode memory = memories.At(i);
        memory.ExpectKeys({"slot", "used", "usedByte", "name", "lr", "sub", "otherBytes"});
        const JsonNode slot = memory.At("slot");
        std::optional<JsonNode>& entry = bySlot[static_cast<std::size_t>(slot.Integer(1, kMemorySlots) - 1)];
        if (entry) slot.Fail("memory " + slot.Text() + " appears twice");
        entry.emplace(memory);
    }
    return bySlot;
}

void CheckFormat(const JsonNode& root)
{
    const JsonNode format = root.At("format");
    if (format.String() != kMemoryFileJsonFormat)
        format.Fail(std::string("expected \"") + kMemoryFileJsonFormat + "\", found " + format.Text());
    const JsonNode version = root.At("version");
    if (version.Integer(INT64_MIN, INT64_MAX) != kMemoryFileJsonVersion)
        version.Fail("version " + version.Text() + " is not known; this program reads version " +
                     std::to_string(kMemoryFileJsonVersion));
}

// A file shorter than 704 bytes, or longer.
void ApplyLength(const JsonNode& root, std::vector<std::uint8_t>& bytes)
{
    const std::optional<JsonNode> length = root.Find("length");
    const std::optional<JsonNode> after = root.Find("bytesAfterEnd");
    if (length && after) after->Fail("does not go with \"length\"");
    if (length) {
        const auto size = static_cast<std::size_t>(length->Integer(kShortestReadable, kMemoryFileSize - 1));
        if (std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end(), [](auto b) { return b != 0; }))
            length->Fail("the bytes from offset " + length->Text() +
                         " on are not all zero, and a file that short reads them as zeros");
        bytes.resize(size);
    }
    if (after) {
        const std::vector<std::uint8_t> more = BytesFromHex(*after);
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
}

}  // namespace

json MemoryFileToJson(std::span<const std::uint8_t> fileBytes)
{
    const MemoryFileImage file = MemoryFileFromBytes(fileBytes);
    if (!CheckMemoryFileFormat(file)) throw std::invalid_argument("File format error!");
    std::array<SlotRecord, kMemorySlots> standard;
    json memories = json::array();
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord record = ReadSlotRecord(file, i);
        const RecordFields fields = FieldsOf(record);
        standard[static_cast<std::size_t>(i)] = RecordFrom(fields);
        const ParameterModel model = ExactModel(record);
        json memory = {{"slot", i + 1}, {"used", fields.usedByte == 1}};
        if (fields.usedByte > 1) memory["usedByte"] = fields.usedByte;
        memory["name"] = NameText(fields.name);
        memory["lr"] = ChannelValuesJson(model, kSlotLeftRight);
        memory["sub"] = ChannelValuesJson(model, kSlotSub);
        memories.push_back(std::move(memory));
    }

    const MemoryFileImage built = BuildMemoryFile(standard);
    const std::span<const std::uint8_t> actual(file), expected(built);
    for (int i = 0; i < kMemorySlots; ++i) {
        json other = json::object();
        AddDifferences(other, actual.subspan(RecordOffset(i), kSlotRecordSize),
                       expected.subspan(RecordOffset(i), kSlotRecordSize), 0);
        if (!other.empty()) memories[static_cast<std::size_t>(i)]["otherBytes"] = std::move(other);
    }
    json document = {{"format", kMemoryFileJsonFormat}, {"version", kMemoryFileJsonVersion}, {"memories", memories}};
    json other = json::object();
    AddDifferences(other, actual.first(kHeaderSize), expected.first(kHeaderSize), 0);
    AddDifferences(other, actual.subspan(kTrailerOffset), expected.subspan(kTrailerOffset), kTrailerOffset);
    if (!other.empty()) document["otherBytes"] = std::move(other);
    if (fileBytes.size() < kMemoryFileSize) document["length"] = fileBytes.size();
    if (fileBytes.size() > kMemoryFileSize) document["bytesAfterEnd"] = Hex(fileBytes.subspan(kMemoryFileSize));
    return document;
}

std::string MemoryFileJsonText(std::span<const std::uint8_t> fileBytes)
{
    return MemoryFileToJson(fileBytes).dump(2) + "\n";
}

std::vector<std::uint8_t> MemoryFileFromJson(const json& document)
{
    const JsonNode root(document);
    root.ExpectKeys({"format", "version", "memories", "otherBytes", "length", "bytesAfterEnd"});
    CheckFormat(root);
    const std::array<std::optional<JsonNode>, kMemorySlots> memories = MemoriesBySlot(root.At("memories"));
    std::array<RecordFields, kMemorySlots> fields;
    std::array<SlotRecord, kMemorySlots> records;
    for (std::size_t i = 0; i < kMemorySlots; ++i) {
        fields[i] = ReadMemory(*memories[i]);
        records[i] = RecordFrom(fields[i]);
    }

    MemoryFileImage file = BuildMemoryFile(records);
    for (int i = 0; i < kMemorySlots; ++i) {
        const std::optional<JsonNode> other = memories[static_cast<std::size_t>(i)]->Find("otherBytes");
        if (!other) continue;
        ApplyOtherBytes(*other, std::span(file).subspan(RecordOffset(i), kSlotRecordSize),
                        {{0, kSlotRecordSize, "the record (offsets 0..111)"}});
        if (FieldsOf(ReadSlotRecord(file, i)) != fields[static_cast<std::size_t>(i)])
            other->Fail("changes bytes that the fields above hold; give those values in their fields");
    }
    if (const std::optional<JsonNode> other = root.Find("otherBytes")) {
        ApplyOtherBytes(*other, file,
                        {{0, kHeaderSize, "the header (offsets 0..15)"},
                         {kTrailerOffset, kMemoryFileSize, "the trailer (offsets 688..703)"}});
        if (!CheckMemoryFileFormat(file))
            other->Fail("changes the format marker \"VNB1.00M\" of the header or the trailer");
    }
    std::vector<std::uint8_t> bytes(file.begin(), file.end());
    ApplyLength(root, bytes);
    return bytes;
}

std::string NameText(std::string_view bytes)
{
    std::string utf8;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}
