#include "emulator/audio/AudioPath.h"

#include <numbers>

namespace rx74emu {
namespace {

constexpr double kSubFeed = 0.5;  // of each input

}  // namespace

const char* OutputName(Output output)
{
    switch (output) {
        case Output::Left:
            return "left";
        case Output::Right:
            return "right";
        case Output::Sub:
            break;
    }
    return "sub";
}

AudioPath::AudioPath(const Room& room, const Image& setting)
    : room_(room),
      leftSpeaker_(room.At(1).left),
      rightSpeaker_(room.At(1).right),
      subSpeaker_(room.At(1).sub),
      resonances_(RoomFilterSections(room.At(1).resonances)),
      reverb_(room.reverb),
      noise_(room.noise),
      loopback_(FractionalDelay::kLatency)
{
    Take(setting);
}

void AudioPath::Apply(const Image& setting)
{
    if (setting != setting_) Take(setting);
}

void AudioPath::Take(const Image& setting)
{
    setting_ = setting;
    const UnitSetting decoded = DecodeSetting(setting);
    left_.Set(decoded.mains);
    right_.Set(decoded.mains);
    sub_.Set(decoded.sub);
}

bool AudioPath::MoveMicrophone(int position)
{
    if (position < 1 || position > Positions()) return false;
    wantedPosition_ = position;
    return true;
}

void AudioPath::Place(int position)
{
    const Room at = room_.At(position);
    leftSpeaker_ = SpeakerPath(at.left);
    rightSpeaker_ = SpeakerPath(at.right);
    subSpeaker_ = SpeakerPath(at.sub);
    resonances_.Set(RoomFilterSections(at.resonances));
    position_ = position;
}

void AudioPath::Process(const float* in, float* out, std::size_t frames)
{
    if (const int wanted = wantedPosition_; wanted != position_) Place(wanted);
    for (std::size_t i = 0; i < frames; ++i) {
        const double one = in[2 * i], two = in[2 * i + 1];
        const double direct = leftSpeaker_.Process(left_.Process(one)) + rightSpeaker_.Process(right_.Process(two)) +
                              subSpeaker_.Process(sub_.Process(kSubFeed * (one + two)));
        const double sound = direct + reverb_.Process(direct);
        out[2 * i] = static_cast<float>(resonances_.Process(sound) + noise_.Next());
        out[2 * i + 1] = static_cast<float>(loopback_.Process(one));
    }
}

std::complex<double> AudioPath::Response(Output output, double hz) const
{
    const double feed = output == Output::Sub ? 2 * kSubFeed : 1.0;
    const double late = kLatencySamples + MsToSamples(ArrivalMs(output));
    const double w = 2.0 * std::numbers::pi * hz / kSampleRate;
    return feed * Channel(output).Response(hz) * Speaker(output).Response(hz) * resonances_.Response(hz) *
           std::polar(1.0, w * late);
}

double AudioPath::ArrivalMs(Output output) const
{
    return Channel(output).Setting().delayMs + SamplesToMs(Speaker(output).ArrivalSamples());
}

const OutputChannel& AudioPath::Channel(Output output) const
{
    return output == Output::Left ? left_ : output == Output::Right ? right_ : sub_;
}

const SpeakerPath& AudioPath::Speaker(Output output) const
{
    return output == Output::Left ? leftSpeaker_ : output == Output::Right ? rightSpeaker_ : subSpeaker_;
}

}  // namespace rx74emu
