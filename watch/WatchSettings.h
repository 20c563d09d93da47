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

// What is wrong with the settings, naming the field and its range; nothing
// when they hold.
std::optional<std::string> WatchSettingsFault(const WatchSettings& settings);
