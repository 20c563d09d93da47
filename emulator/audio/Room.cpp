#include "emulator/audio/Room.h"

namespace rx74emu {
namespace {

using Kind = RoomFilter::Kind;

// A top: rolls off below 80 Hz (second order) and gently above 12 kHz.
std::vector<RoomFilter> TopResponse()
{
    return {{Kind::HighPass, 80.0, 0.7071, 0.0}, {Kind::HighShelf, 12000.0, 0.7071, -3.0}};
}

// A sub: its band 30 Hz to 130 Hz.
std::vector<RoomFilter> SubResponse()
{
    return {{Kind::HighPass, 30.0, 0.7071, 0.0}, {Kind::LowPass, 130.0, 0.7071, 0.0}};
}

}  // namespace

Room DefaultRoom()
{
    Room room;
    room.left = {3.0, TopResponse(), false};
    room.right = {3.2, TopResponse(), false};
    room.sub = {3.6, SubResponse(), false};
    room.resonances = {{Kind::Peak, 42.0, 5.0, 4.0}, {Kind::Peak, 71.0, 6.0, -3.0}, {Kind::Peak, 113.0, 8.0, 3.0}};
    return room;
}

}  // namespace rx74emu
