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
    // Three more seats: the modes shift in level from seat to seat; the
    // fourth, near a wall, alone hears a strong one at 160 Hz.
    room.otherPositions = {
        {3.5, 2.9, 4.1, {{Kind::Peak, 42.0, 5.0, 2.0}, {Kind::Peak, 71.0, 6.0, -5.0}, {Kind::Peak, 113.0, 8.0, 2.0}}},
        {4.2, 4.4, 3.1, {{Kind::Peak, 42.0, 5.0, 6.0}, {Kind::Peak, 71.0, 6.0, -2.0}, {Kind::Peak, 96.0, 7.0, -3.0}}},
        {2.7, 3.8, 4.5,
         {{Kind::Peak, 42.0, 5.0, 4.0}, {Kind::Peak, 71.0, 6.0, -3.0}, {Kind::Peak, 160.0, 6.0, 9.0}}},
    };
    return room;
}

Room Room::At(int position) const
{
    Room room = *this;
    room.otherPositions.clear();
    if (position == 1) return room;
    const MicrophonePosition& at = otherPositions.at(static_cast<std::size_t>(position - 2));
    room.left.distanceM = at.leftM;
    room.right.distanceM = at.rightM;
    room.sub.distanceM = at.subM;
    room.resonances = at.resonances;
    return room;
}

}  // namespace rx74emu
