#include "WatchSettings.h"

#include <cstdio>

namespace {

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::optional<std::string> WatchSettingsFault(const WatchSettings& s)
{
    if (s.microphoneChannel < 1) return "\"microphoneChannel\" must be an input channel, 1 or more.";
    if (s.referenceChannel < 1) return "\"referenceChannel\" must be an input channel, 1 or more.";
    if (s.referenceChannel == s.microphoneChannel)
        return "\"referenceChannel\" must be another input channel than the microphone's.";
    if (s.rate < kLeastWatchRate || s.rate > kMostWatchRate)
        return "\"rate\" must be " + Number(kLeastWatchRate) + " to " + Number(kMostWatchRate) + " Hz.";
    if (!(s.averageSeconds >= kLeastAverageSeconds && s.averageSeconds <= kMostAverageSeconds))
        return "\"average\" must be " + Number(kLeastAverageSeconds) + " to " + Number(kMostAverageSeconds) + " s.";
    return std::nullopt;
}
