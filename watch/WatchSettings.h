// What a live watch listens to and how it averages, with the limits every
// face checks its values against (one home: the command line's options,
// the page's request and the desktop's fields all come here).
#pragma once

#include <optional>
#include <string>

inline constexpr double kLeastAverageSeconds = 0.2;
inline constexpr double kMostAverageSeconds = 10.0;
inline constexpr int kLeastWatchRate = 8000;
inline constexpr int kMostWatchRate = 192000;

struct WatchSettings {
    std::string recordDevice;  // a device's server name or name; empty: the default input
    int microphoneChannel = 1;  // of the input, from 1
    int referenceChannel = 2;
    int rate = 48000;
    double averageSeconds = 1.0;
};

// The settings a face lets the person set; each face has its own name for them.
enum class WatchField { MicrophoneChannel, ReferenceChannel, Rate, Average };

// A setting out of its range: which one, and what it must be ("The
// averaging's time constant must be 0.2 to 10 s.").
struct WatchSettingsFault {
    WatchField field;
    std::string text;
};

// The first setting out of its range; nothing when they all hold.
std::optional<WatchSettingsFault> FaultOf(const WatchSettings& settings);
