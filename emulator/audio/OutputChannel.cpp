#include "emulator/audio/OutputChannel.h"

#include <cmath>

#include "emulator/audio/FilterTypes.h"

namespace rx74emu {

Biquad BandSection(const PeqBand& band)
{
    if (band.flat) return {};
    switch (band.shape) {
        case PeqBand::Shape::LowShelf:
            return LowShelf(band.hz, band.gainDb);
        case PeqBand::Shape::HighShelf:
            return HighShelf(band.hz, band.gainDb);
        case PeqBand::Shape::Bell:
            break;
    }
    return Bell(band.hz, band.gainDb, band.octaves);
}

void OutputChannel::Set(const ChannelSetting& setting)
{
    setting_ = setting;
    std::vector<Biquad> sections;
    for (const PeqBand& band : setting.bands) sections.push_back(BandSection(band));
    const auto highPass = HighPassSections(FilterTypePrototype(setting.highPass.type), setting.highPass.hz);
    const auto lowPass = LowPassSections(FilterTypePrototype(setting.lowPass.type), setting.lowPass.hz);
    sections.insert(sections.end(), highPass.begin(), highPass.end());
    sections.insert(sections.end(), lowPass.begin(), lowPass.end());
    filters_.Set(std::move(sections));
    gain_ = std::pow(10.0, setting.levelDb / 20.0) * (setting.inverted ? -1.0 : 1.0);
    limiter_.Set(setting.limiterDbu, setting.limiterHoldMs, setting.limiterReleaseMs);
    delay_.Set(MsToSamples(setting.delayMs));
}

double OutputChannel::Process(double x)
{
    const double limited = limiter_.Process(gain_ * filters_.Process(x));
    return delay_.Process(setting_.mute ? 0.0 : limited);
}

std::complex<double> OutputChannel::Response(double hz) const
{
    return gain_ * filters_.Response(hz) * delay_.Response(hz);
}

}  // namespace rx74emu
