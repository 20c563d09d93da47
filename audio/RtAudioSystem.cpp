#include "RtAudioSystem.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "BoundedCall.h"

namespace {

// A stop or close that takes longer has hung in the library.
constexpr std::chrono::milliseconds kStopTimeout{3000};
// What may lie between a frame handed to the library and the speaker: the
// library's own buffer of a few blocks, the endpoint's, and below it a
// driver's or a sound server's (Wine's driver holds three 10 ms periods
// and PulseAudio as much again).
constexpr double kHeldSeconds = 0.25;

RtAudio::Api LibraryApi(RtAudioSystem::Api api)
{
    switch (api) {
    case RtAudioSystem::Api::Wasapi:
        return RtAudio::WINDOWS_WASAPI;
    case RtAudioSystem::Api::DirectSound:
        return RtAudio::WINDOWS_DS;
    case RtAudioSystem::Api::Default:
        break;
    }
    return RtAudio::UNSPECIFIED;
}

// A name may stand for two devices, one each way (WASAPI lists its capture
// and render endpoints apart, and Wine names both defaults "PulseAudio"):
// the one that has channels the way it is used.
unsigned int LibraryDeviceId(RtAudio& audio, const std::string& name, AudioDirection direction)
{
    for (unsigned int id = 0; id < audio.getDeviceCount(); ++id) {
        const RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
        const unsigned int channels = direction == AudioDirection::Output ? info.outputChannels : info.inputChannels;
        if (info.name == name && channels > 0) return id;
    }
    throw AudioError("The sound device \"" + name + "\" went away.");
}

class RtAudioDuplex;

// RtAudio reports its errors to one function without saying which stream
// they are about: one stream is open at a time in a program.
std::mutex openStreamMutex;
RtAudioDuplex* openStream = nullptr;

// The library's audio thread reaches the stream through this. Once a stop
// has hung, the stream gives it up (it is leaked, with the thread that may
// still use it) and its callbacks no longer touch the stream.
struct Library {
    explicit Library(RtAudio::Api api) : audio(api) {}
    RtAudio audio;
    const DuplexCallbacks* callbacks = nullptr;
    int playChannels = 2;
    int recordChannels = 2;
    std::int64_t frames = 0;  // handed each way so far
    std::int64_t heldFrames = 0;  // as many as the device and the library may hold on the way out
    std::atomic<bool> abandoned{false};
};

class RtAudioDuplex final : public DuplexBackend {
public:
    RtAudioDuplex(RtAudio::Api api, const DuplexEnds& ends, DuplexCallbacks callbacks)
        : ends_(ends), callbacks_(std::move(callbacks)), library_(std::make_unique<Library>(api))
    {
        {
            const std::lock_guard lock(openStreamMutex);
            if (openStream) throw AudioError("Another sound stream of this program is open.");
            openStream = this;
        }
        try {
            Open();
        } catch (...) {
            const std::lock_guard lock(openStreamMutex);
            openStream = nullptr;
            throw;
        }
    }

    ~RtAudioDuplex() override
    {
        if (library_ && !EndWithin([](RtAudio& audio) {
                if (audio.isStreamRunning()) audio.abortStream();
                if (audio.isStreamOpen()) audio.closeStream();
            }))
            std::fprintf(stderr, "%s\n", HungMessage().c_str());
        const std::lock_guard lock(openStreamMutex);
        openStream = nullptr;
    }

    void Start() override
    {
        if (!library_) throw AudioError(HungMessage());
        try {
            library_->audio.startStream();
        } catch (const RtAudioError& e) {
            throw AudioError("The sound stream on \"" + ends_.play.name + "\" and \"" + ends_.record.name +
                             "\" did not start: " + e.getMessage());
        }
    }

    void Stop() override
    {
        if (!library_) return;
        if (!EndWithin([](RtAudio& audio) {
                if (audio.isStreamRunning()) audio.stopStream();
            }))
            throw AudioError(HungMessage());
    }

    std::optional<std::string> Failure() const override
    {
        const std::lock_guard lock(failureMutex_);
        return failure_;
    }

    void Fail(const std::string& message)
    {
        const std::lock_guard lock(failureMutex_);
        if (!failure_) failure_ = message;
    }

private:
    static int OnAudio(void* output, void* input, unsigned int frames, double, RtAudioStreamStatus status, void* data)
    {
        auto* library = static_cast<Library*>(data);
        if (library->abandoned) return 2;  // abort
        const DuplexCallbacks& callbacks = *library->callbacks;
        const auto count = static_cast<std::int64_t>(frames);
        if (status & RTAUDIO_OUTPUT_UNDERFLOW) {
            // The device played silence somewhere in what it held, and plays
            // all that came after it that much later: the frames handed before
            // these are lost as far back as it held them, and the relation of
            // what is played to what is recorded has moved by an amount not known.
            const std::int64_t from = std::max<std::int64_t>(library->frames - library->heldFrames, 0);
            const StreamLoss lost{StreamLoss::Kind::Underrun, from, library->frames + count - from};
            callbacks.lost(lost);
            callbacks.lost({StreamLoss::Kind::Slip, lost.frame, lost.frames});
        }
        if (status & RTAUDIO_INPUT_OVERFLOW) callbacks.lost({StreamLoss::Kind::Overrun, library->frames, count});
        callbacks.play({static_cast<float*>(output), frames * static_cast<std::size_t>(library->playChannels)});
        callbacks.record({static_cast<const float*>(input), frames * static_cast<std::size_t>(library->recordChannels)});
        library->frames += count;
        return 0;
    }

    static void OnError(RtAudioError::Type, const std::string& text)
    {
        const std::lock_guard lock(openStreamMutex);
        if (openStream) openStream->Fail(text);
    }

    void Open()
    {
        library_->callbacks = &callbacks_;
        library_->playChannels = ends_.playChannels;
        library_->recordChannels = ends_.recordChannels;
        library_->heldFrames = static_cast<std::int64_t>(kHeldSeconds * ends_.rate);
        RtAudio& audio = library_->audio;
        audio.showWarnings(false);
        RtAudio::StreamParameters out{LibraryDeviceId(audio, ends_.play.name, AudioDirection::Output),
                                      static_cast<unsigned int>(ends_.playChannels), 0};
        RtAudio::StreamParameters in{LibraryDeviceId(audio, ends_.record.name, AudioDirection::Input),
                                     static_cast<unsigned int>(ends_.recordChannels), 0};
        unsigned int frames = ends_.blockFrames;
        try {
            audio.openStream(&out, &in, RTAUDIO_FLOAT32, static_cast<unsigned int>(ends_.rate), &frames, &OnAudio,
                             library_.get(), nullptr, &OnError);
        } catch (const RtAudioError& e) {
            throw AudioError(e.getMessage());
        }
    }

    // Runs `end` on the library, bounded; false when it hung (the library is
    // then given up).
    bool EndWithin(void (*end)(RtAudio&))
    {
        Library* library = library_.get();
        bool ended = false;
        try {
            ended = CallWithin(kStopTimeout, [library, end] { end(library->audio); });
        } catch (const RtAudioError& e) {
            // The devices are gone already: there is nothing left to end.
            Fail(e.getMessage());
            return true;
        }
        if (ended) return true;
        library->abandoned = true;
        (void)library_.release();  // the hung call still uses it
        return false;
    }

    std::string HungMessage() const
    {
        return "The sound stream on \"" + ends_.play.name + "\" and \"" + ends_.record.name +
               "\" could not be stopped: the sound library did not return within 3 s. It was left behind; restart "
               "the program before using the sound devices again.";
    }

    DuplexEnds ends_;
    DuplexCallbacks callbacks_;
    std::unique_ptr<Library> library_;
    mutable std::mutex failureMutex_;
    std::optional<std::string> failure_;
};

}  // namespace

RtAudioSystem::RtAudioSystem(std::vector<Api> apis) : apis_(std::move(apis)) {}

std::vector<AudioDevice> RtAudioSystem::Devices() const
{
    std::vector<AudioDevice> devices;
    try {
        RtAudio audio(LibraryApi(apis_.front()));
        audio.showWarnings(false);
        for (unsigned int id = 0; id < audio.getDeviceCount(); ++id) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
            if (!info.probed) continue;
            AudioDevice device{info.name, {}, static_cast<int>(info.inputChannels),
                               static_cast<int>(info.outputChannels), {}, info.isDefaultInput,
                               info.isDefaultOutput};
            device.rates.assign(info.sampleRates.begin(), info.sampleRates.end());
            devices.push_back(std::move(device));
        }
    } catch (const RtAudioError& e) {
        throw AudioError("The sound system did not answer: " + e.getMessage());
    }
    return devices;
}

std::unique_ptr<DuplexBackend> RtAudioSystem::Open(const DuplexEnds& ends, DuplexCallbacks callbacks) const
{
    // The first backend's reason is the one told: the others are fallbacks.
    std::optional<AudioError> firstError;
    for (const Api api : apis_) {
        try {
            return std::make_unique<RtAudioDuplex>(LibraryApi(api), ends, callbacks);
        } catch (const AudioError& e) {
            if (!firstError) firstError = e;
        }
    }
    throw *firstError;
}
