#include "emulator/audio/PulseAudioLoop.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace rx74emu {
namespace {

constexpr int kChannels = 2;
constexpr const char* kClientName = "rx74-emulator";
// The playback buffer holds this much before it starts, and is kept at
// that: the audio thread may then be held up that long without the buffer
// running dry, which would add the rest of the hold-up to the latency for good.
constexpr double kPlaybackBufferMs = 150.0;

pa_sample_spec SampleSpec()
{
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = static_cast<std::uint32_t>(kSampleRate);
    sampleFormat.channels = kChannels;
    return sampleFormat;
}

void Free(pa_simple* stream)
{
    if (stream) pa_simple_free(stream);
}

}  // namespace

struct PulseAudioLoop::Streams {
    std::unique_ptr<pa_simple, decltype(&Free)> record{nullptr, &Free}, playback{nullptr, &Free};
};

PulseAudioLoop::PulseAudioLoop(AudioPath& path, std::function<Image()> setting)
    : path_(path), setting_(std::move(setting))
{
}

PulseAudioLoop::~PulseAudioLoop() { Stop(); }

bool PulseAudioLoop::Start(const AudioDevices& devices)
{
    if (thread_.joinable()) return false;
    devices_ = devices;
    const pa_sample_spec sampleFormat = SampleSpec();
    const std::uint32_t blockBytes = static_cast<std::uint32_t>(devices.blockFrames) * kChannels * sizeof(float);
    pa_buffer_attr recordAttr{};
    recordAttr.maxlength = static_cast<std::uint32_t>(-1);
    recordAttr.fragsize = blockBytes;
    pa_buffer_attr playAttr{};
    playAttr.maxlength = static_cast<std::uint32_t>(-1);
    const auto bufferFrames = static_cast<std::uint32_t>(MsToSamples(kPlaybackBufferMs));
    playAttr.tlength =
        std::max(bufferFrames, 2u * static_cast<std::uint32_t>(devices.blockFrames)) * kChannels * sizeof(float);
    playAttr.prebuf = playAttr.tlength;
    playAttr.minreq = blockBytes;
    int error = 0;
    streams_ = std::make_unique<Streams>();
    streams_->record.reset(pa_simple_new(nullptr, kClientName, PA_STREAM_RECORD, devices.source.c_str(),
                                         "the unit's inputs", &sampleFormat, nullptr, &recordAttr, &error));
    if (!streams_->record) {
        error_ = "cannot record " + devices.source + ": " + pa_strerror(error);
        return false;
    }
    streams_->playback.reset(pa_simple_new(nullptr, kClientName, PA_STREAM_PLAYBACK, devices.sink.c_str(),
                                           "the microphone in the room", &sampleFormat, nullptr, &playAttr, &error));
    if (!streams_->playback) {
        error_ = "cannot play into " + devices.sink + ": " + pa_strerror(error);
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PulseAudioLoop::Run()
{
    const std::size_t samples = static_cast<std::size_t>(devices_.blockFrames) * kChannels;
    std::vector<float> in(samples), out(samples);
    int error = 0;
    while (!stopping_) {
        if (pa_simple_read(streams_->record.get(), in.data(), samples * sizeof(float), &error) < 0) break;
        path_.Apply(setting_());
        path_.Process(in.data(), out.data(), static_cast<std::size_t>(devices_.blockFrames));
        if (pa_simple_write(streams_->playback.get(), out.data(), samples * sizeof(float), &error) < 0) break;
    }
    // The line is served on; only the sound has gone.
    if (!stopping_) std::fprintf(stderr, "rx74-emulator: the sound server stopped the audio: %s\n", pa_strerror(error));
}

void PulseAudioLoop::Stop()
{
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    streams_.reset();
}

std::string PulseAudioLoop::Error() const { return error_; }

}  // namespace rx74emu
