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

std::optional<WatchSettingsFault> FaultOf(const WatchSettings& s)
{
    if (s.microphoneChannel < 1)
        return WatchSettingsFault{WatchField::MicrophoneChannel, "The microphone's channel must be an input channel, 1 or more."};
    if (s.referenceChannel < 1)
        return WatchSettingsFault{WatchField::ReferenceChannel, "The reference's channel must be an input channel, 1 or more."};
    if (s.referenceChannel == s.microphoneChannel)
        return WatchSettingsFault{WatchField::ReferenceChannel,
                                  "The reference's channel must be another input channel than the microphone's."};
    if (s.rate < kLeastWatchRate || s.rate > kMostWatchRate)
        return WatchSettingsFault{WatchField::Rate,
                                  "The rate must be " + Number(kLeastWatchRate) + " to " + Number(kMostWatchRate) + " Hz."};
    if (!(s.averageSeconds >= kLeastAverageSeconds && s.averageSeconds <= kMostAverageSeconds))
        return WatchSettingsFault{WatchField::Average, "The averaging's time constant must be " + Number(kLeastAverageSeconds) +
                                                           " to " + Number(kMostAverageSeconds) + " s."};
    return std::nullopt;
}
