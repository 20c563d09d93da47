// The room the emulated unit plays into: three loudspeakers, each with a
// response of its own, at a distance from the one microphone; a few room
// resonances at the microphone; background noise. DefaultRoom() is the room
// without a room file (README: "The emulated unit as a loudspeaker in a room").
#pragma once

#include <cstdint>
#include <vector>

namespace rx74emu {

inline constexpr double kSpeedOfSound = 343.0;  // m/s

// A second-order filter section of a loudspeaker's response or of the room.
struct RoomFilter {
    enum class Kind { HighPass, LowPass, Peak, LowShelf, HighShelf };
    Kind kind = Kind::Peak;
    double hz = 1000.0;
    double q = 0.7071;    // of high-pass, low-pass and peak
    double gainDb = 0.0;  // of peak and shelves
};

struct Loudspeaker {
    double distanceM = 3.0;  // to the microphone: delay at 343 m/s, level 1/r of 1 m
    std::vector<RoomFilter> response;
    bool reversed = false;  // wired with its polarity reversed
};

struct RoomNoise {
    enum class Colour { White, Pink };
    double dbfs = -80.0;  // RMS; -inf or below -200: none
    Colour colour = Colour::Pink;
    std::uint32_t seed = 1;
};

struct Room {
    Loudspeaker left, right, sub;
    std::vector<RoomFilter> resonances;  // peaks, heard from every loudspeaker
    RoomNoise noise;
};

Room DefaultRoom();

}  // namespace rx74emu
