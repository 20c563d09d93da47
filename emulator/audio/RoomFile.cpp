#include "emulator/audio/RoomFile.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace rx74emu {
namespace {

using json = nlohmann::json;

// A room file error, with the JSON path of the member at fault.
struct RoomError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& why) { throw RoomError(where + ": " + why); }

// Refuses members other than `known`, so that a misspelt one is not ignored.
void OnlyMembers(const json& object, const std::string& where, std::initializer_list<const char*> known)
{
    if (!object.is_object()) Fail(where, "not an object");
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        for (const char* name : known) found = found || key == name;
        if (!found) Fail(where + "." + key, "not a member of a room");
    }
}

double Number(const json& object, const char* key, const std::string& where, double fallback, double low, double high)
{
    if (!object.contains(key)) return fallback;
    const json& value = object[key];
    const std::string path = where + "." + key;
    if (!value.is_number()) Fail(path, "not a number");
    const double number = value.get<double>();
    if (!(number >= low && number <= high))
        Fail(path, std::to_string(number) + " is outside " + std::to_string(low) + " .. " + std::to_string(high));
    return number;
}

RoomFilter ParseFilter(const json& object, const std::string& where)
{
    static const std::map<std::string, RoomFilter::Kind> kKinds = {{"highpass", RoomFilter::Kind::HighPass},
                                                                   {"lowpass", RoomFilter::Kind::LowPass},
                                                                   {"peak", RoomFilter::Kind::Peak},
                                                                   {"lowshelf", RoomFilter::Kind::LowShelf},
                                                                   {"highshelf", RoomFilter::Kind::HighShelf}};
    OnlyMembers(object, where, {"type", "hz", "q", "gainDb"});
    RoomFilter filter;
    const auto kind = object.contains("type") && object["type"].is_string()
                          ? kKinds.find(object["type"].get<std::string>())
                          : kKinds.end();
    if (kind == kKinds.end()) Fail(where + ".type", "not one of highpass, lowpass, peak, lowshelf, highshelf");
    filter.kind = kind->second;
    if (!object.contains("hz")) Fail(where + ".hz", "missing");
    filter.hz = Number(object, "hz", where, 0.0, 1.0, 23000.0);
    filter.q = Number(object, "q", where, filter.q, 0.1, 50.0);
    filter.gainDb = Number(object, "gainDb", where, 0.0, -40.0, 40.0);
    return filter;
}

std::vector<RoomFilter> ParseFilters(const json& list, const std::string& where)
{
    if (!list.is_array()) Fail(where, "not a list");
    std::vector<RoomFilter> filters;
    for (std::size_t i = 0; i < list.size(); ++i)
        filters.push_back(ParseFilter(list[i], where + "[" + std::to_string(i) + "]"));
    return filters;
}

void ParseLoudspeaker(const json& object, const std::string& where, Loudspeaker& into)
{
    OnlyMembers(object, where, {"distanceM", "reversed", "response"});
    into.distanceM = Number(object, "distanceM", where, into.distanceM, 0.1, 100.0);
    if (object.contains("reversed")) {
        if (!object["reversed"].is_boolean()) Fail(where + ".reversed", "not true or false");
        into.reversed = object["reversed"].get<bool>();
    }
    if (object.contains("response")) into.response = ParseFilters(object["response"], where + ".response");
}

void ParseReverb(const json& object, RoomReverb& into)
{
    OnlyMembers(object, "reverb", {"rt60", "levelDb", "preDelayMs", "seed"});
    if (!object.contains("rt60")) Fail("reverb.rt60", "missing");
    into.rt60 = Number(object, "rt60", "reverb", 0.0, RoomReverb::kShortestRt60, RoomReverb::kLongestRt60);
    into.levelDb = Number(object, "levelDb", "reverb", into.levelDb, -60.0, 0.0);
    into.preDelayMs = Number(object, "preDelayMs", "reverb", into.preDelayMs, 0.0, 100.0);
    into.seed = static_cast<std::uint32_t>(Number(object, "seed", "reverb", into.seed, 0.0, 4294967295.0));
}

void ParseNoise(const json& object, RoomNoise& into)
{
    OnlyMembers(object, "noise", {"dbfs", "color", "seed"});
    if (object.contains("dbfs") && object["dbfs"].is_null())
        into.dbfs = -std::numeric_limits<double>::infinity();
    else
        into.dbfs = Number(object, "dbfs", "noise", into.dbfs, -200.0, 0.0);
    if (object.contains("color")) {
        const json& colour = object["color"];
        if (colour == "white")
            into.colour = RoomNoise::Colour::White;
        else if (colour == "pink")
            into.colour = RoomNoise::Colour::Pink;
        else
            Fail("noise.color", "not white or pink");
    }
    into.seed = static_cast<std::uint32_t>(Number(object, "seed", "noise", into.seed, 0.0, 4294967295.0));
}

MicrophonePosition ParsePosition(const json& object, const std::string& where, const Room& room)
{
    OnlyMembers(object, where, {"leftM", "rightM", "subM", "resonances"});
    MicrophonePosition position;
    position.leftM = Number(object, "leftM", where, room.left.distanceM, 0.1, 100.0);
    position.rightM = Number(object, "rightM", where, room.right.distanceM, 0.1, 100.0);
    position.subM = Number(object, "subM", where, room.sub.distanceM, 0.1, 100.0);
    position.resonances =
        object.contains("resonances") ? ParseFilters(object["resonances"], where + ".resonances") : room.resonances;
    return position;
}

// After the loudspeakers and the resonances: a position takes theirs by
// default, and the first becomes the room's own.
void ParsePositions(const json& list, Room& room)
{
    constexpr std::size_t kMostPositions = 16;
    if (!list.is_array()) Fail("positions", "not a list");
    if (list.empty() || list.size() > kMostPositions) Fail("positions", "not 1 .. 16 positions");
    std::vector<MicrophonePosition> positions;
    for (std::size_t i = 0; i < list.size(); ++i)
        positions.push_back(ParsePosition(list[i], "positions[" + std::to_string(i) + "]", room));
    room.left.distanceM = positions[0].leftM;
    room.right.distanceM = positions[0].rightM;
    room.sub.distanceM = positions[0].subM;
    room.resonances = positions[0].resonances;
    room.otherPositions.assign(positions.begin() + 1, positions.end());
}

}  // namespace

std::variant<Room, std::string> ParseRoom(const std::string& text)
{
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) return std::string("not JSON");
    try {
        Room room = DefaultRoom();
        OnlyMembers(document, "room", {"left", "right", "sub", "resonances", "reverb", "noise", "positions"});
        if (document.contains("left")) ParseLoudspeaker(document["left"], "left", room.left);
        if (document.contains("right")) ParseLoudspeaker(document["right"], "right", room.right);
        if (document.contains("sub")) ParseLoudspeaker(document["sub"], "sub", room.sub);
        if (document.contains("resonances")) room.resonances = ParseFilters(document["resonances"], "resonances");
        if (document.contains("reverb")) ParseReverb(document["reverb"], room.reverb);
        if (document.contains("noise")) ParseNoise(document["noise"], room.noise);
        // A room file names its own positions, or has the one its loudspeakers say.
        room.otherPositions.clear();
        if (document.contains("positions")) ParsePositions(document["positions"], room);
        return room;
    } catch (const RoomError& error) {
        return std::string(error.what());
    }
}

std::variant<Room, std::string> ReadRoomFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in) return path + ": cannot be read";
    std::ostringstream text;
    text << in.rdbuf();
    auto room = ParseRoom(text.str());
    if (auto* error = std::get_if<std::string>(&room)) return path + ": " + *error;
    return room;
}

}  // namespace rx74emu
