// The room file: a JSON object whose members change the default room; a
// member left out keeps the default's value.
//
//   {"left":  {"distanceM": 3.0, "reversed": false,
//              "response": [{"type": "highpass", "hz": 80, "q": 0.71},
//                           {"type": "highshelf", "hz": 12000, "gainDb": -3}]},
//    "right": {...}, "sub": {...},
//    "resonances": [{"type": "peak", "hz": 42, "q": 5, "gainDb": 4}],
//    "reverb": {"rt60": 1.5, "levelDb": -26, "preDelayMs": 15, "seed": 1},
//    "noise": {"dbfs": -80, "color": "pink", "seed": 1},
//    "positions": [{}, {"leftM": 3.4, "rightM": 2.9, "subM": 4.1,
//                       "resonances": [{"type": "peak", "hz": 160, "q": 6, "gainDb": 9}]}]}
//
// Filter types: highpass, lowpass (hz, q), peak (hz, q, gainDb), lowshelf,
// highshelf (hz, gainDb). "dbfs": null means no noise. Without "reverb" the
// room has none; with it "rt60" (0.3 .. 2 s, the time its tail takes to
// decay by 60 dB) is needed, "levelDb" is the whole tail's energy against
// the direct sound's (-60 .. 0), "preDelayMs" how long after the direct
// sound the tail starts (0 .. 100), "seed" that of the tail's random shape.
// "positions" lists where the microphone can stand (1 .. 16 of them), each
// with its distances to Left, Right and the Sub (0.1 .. 100 m) and the
// resonances it hears; what a position leaves out is the room's own (the
// loudspeakers' "distanceM" and "resonances"), so {} is where they say.
#pragma once

#include <string>
#include <variant>

#include "emulator/audio/Room.h"

namespace rx74emu {

// The room, or why the file cannot be one (the member's path and the reason).
std::variant<Room, std::string> ReadRoomFile(const std::string& path);
std::variant<Room, std::string> ParseRoom(const std::string& text);

}  // namespace rx74emu
