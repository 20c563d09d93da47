// The room the emulated unit plays into: three loudspeakers, each with a
// response of its own, at a distance from the one microphone; a few room
// resonances at the microphone; a reverberant tail; background noise. The
// microphone may be moved between positions, each with its own distances
// and resonances (a seat near a wall hears a mode the others do not).
// DefaultRoom() is the room without a room file (README: "The emulated unit
// as a loudspeaker in a room").
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

// The diffuse sound of the room behind the direct sound: it starts preDelayMs
// after it and decays by 60 dB in rt60 seconds, at every frequency alike.
struct RoomReverb {
    static constexpr double kShortestRt60 = 0.3, kLongestRt60 = 2.0;  // seconds

    double rt60 = 0.0;  // 0: no reverberation
    // The whole tail's energy against the direct sound's that feeds it,
    // alike for every loudspeaker and frequency. The Sub's window of 700 ms
    // holds nearly all of a tail of 1.5 s, and at 1/6 octave near 40 Hz
    // averages only some three independent values of it: -26 dB keeps its
    // response within 1 dB of the direct sound's (the tops' shorter window
    // would allow -18 dB). A directional top close to it in a large hall.
    double levelDb = -26.0;
    double preDelayMs = 15.0;
    std::uint32_t seed = 1;  // of the delays and signs of the network

    bool On() const { return rt60 > 0.0; }
};

// Where the microphone can stand: its distance to each loudspeaker and
// the resonances it hears there.
struct MicrophonePosition {
    double leftM = 3.0, rightM = 3.0, subM = 3.0;
    std::vector<RoomFilter> resonances;
};

struct Room {
    Loudspeaker left, right, sub;
    std::vector<RoomFilter> resonances;  // peaks, heard from every loudspeaker
    RoomReverb reverb;
    RoomNoise noise;
    // Position 1 is where the loudspeakers' distances and `resonances`
    // say; these are positions 2 on.
    std::vector<MicrophonePosition> otherPositions;

    int PositionCount() const { return 1 + static_cast<int>(otherPositions.size()); }
    // The room with its microphone at `position` (1-based, within
    // 1 .. PositionCount()), as a room of that one position.
    Room At(int position) const;
};

Room DefaultRoom();

}  // namespace rx74emu
