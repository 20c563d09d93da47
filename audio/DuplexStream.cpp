#include "DuplexStream.h"

#include <cstdio>
#include <rtaudio/RtAudio.h>
#include <thread>

#include "BoundedCall.h"

namespace {

constexpr std::chrono::seconds kFlowTimeout{5};
// A stop or close that takes longer has hung in the library.
constexpr std::chrono::milliseconds kStopTimeout{3000};

// The stream the library's error function reports to.
std::mutex openStreamMutex;
DuplexStream* openStream = nullptr;

unsigned int LibraryDeviceId(RtAudio& audio, const std::string& name)
{
    for (unsigned int id = 0; id < audio.getDeviceCount(); ++id)
        if (audio.getDeviceInfo(id).name == name) return id;
    throw AudioError("The sound device \"" + name + "\" went away.");
}

void RequireChannels(const AudioDevice& device, int available, int wanted, const char* way)
{
    if (available < wanted)
        throw AudioError("The sound device \"" + device.name + "\" has " + std::to_string(available) + " " + way +
                         " channels; " + std::to_string(wanted) + " are needed.");
}

}  // namespace

// The library's audio thread reaches the stream through this. Once a stop
// has hung, the stream gives it up (it is leaked, with the thread that may
// still use it) and its callbacks no longer touch the stream.
struct DuplexStream::Library {
    RtAudio audio;
    DuplexStream* stream = nullptr;
    std::atomic<bool> abandoned{false};
};

struct DuplexStream::Bridge {
    static int OnAudio(void* output, void* input, unsigned int frames, double, RtAudioStreamStatus status,
                       void* data)
    {
        auto* library = static_cast<Library*>(data);
        if (library->abandoned) return 2;  // abort
        DuplexStream* stream = library->stream;
        const DuplexSettings& settings = stream->settings_;
        stream->OnBlock({static_cast<float*>(output), frames * static_cast<std::size_t>(settings.playChannels)},
                        {static_cast<const float*>(input), frames * static_cast<std::size_t>(settings.recordChannels)},
                        status & RTAUDIO_OUTPUT_UNDERFLOW, status & RTAUDIO_INPUT_OVERFLOW);
        return 0;
    }

    static void OnError(RtAudioError::Type, const std::string& text)
    {
        const std::lock_guard lock(openStreamMutex);
        if (openStream) openStream->Fail(text);
    }
};

DuplexStream::DuplexStream(const DuplexSettings& settings, DuplexCallback callback)
    : settings_(settings), callback_(std::move(callback)), clock_(settings.rate)
{
    const std::vector<AudioDevice> devices = ListAudioDevices();
    play_ = ChooseAudioDevice(devices, settings.playDevice, AudioDirection::Output);
    record_ = ChooseAudioDevice(devices, settings.recordDevice, AudioDirection::Input);
    RequireChannels(play_, play_.outputChannels, settings.playChannels, "output");
    if (settings_.recordChannels == 0) settings_.recordChannels = record_.inputChannels;
    RequireChannels(record_, record_.inputChannels, settings_.recordChannels, "input");
    {
        const std::lock_guard lock(openStreamMutex);
        if (openStream) throw AudioError("Another sound stream of this program is open.");
        openStream = this;
    }
    try {
        if (play_.serverName.empty() || record_.serverName.empty()) {
            OpenLibrary();
        } else {
            const PulseEnds ends{play_.serverName, record_.serverName, settings_.rate, settings_.playChannels,
                                 settings_.recordChannels, settings_.bufferFrames};
            pulse_ = std::make_unique<PulseDuplex>(
                ends, [this](std::span<float> play, std::span<const float> record, PulseDuplex::Losses losses) {
                    OnBlock(play, record, losses.underrun, losses.hole);
                });
        }
    } catch (const std::exception& e) {
        const std::lock_guard lock(openStreamMutex);
        openStream = nullptr;
        throw AudioError("The sound devices \"" + play_.name + "\" and \"" + record_.name +
                         "\" could not be opened at " + std::to_string(settings.rate) + " Hz: " + e.what());
    }
}

void DuplexStream::OpenLibrary()
{
    library_ = std::make_unique<Library>();
    library_->stream = this;
    RtAudio& audio = library_->audio;
    audio.showWarnings(false);
    RtAudio::StreamParameters out{LibraryDeviceId(audio, play_.name), static_cast<unsigned int>(settings_.playChannels),
                                  0};
    RtAudio::StreamParameters in{LibraryDeviceId(audio, record_.name),
                                 static_cast<unsigned int>(settings_.recordChannels), 0};
    unsigned int frames = settings_.bufferFrames;
    audio.openStream(&out, &in, RTAUDIO_FLOAT32, static_cast<unsigned int>(settings_.rate), &frames, &Bridge::OnAudio,
                     library_.get(), nullptr, &Bridge::OnError);
    settings_.bufferFrames = frames;
}

DuplexStream::~DuplexStream()
{
    pulse_.reset();
    if (library_ && !EndWithin([](RtAudio& audio) {
            if (audio.isStreamRunning()) audio.abortStream();
            if (audio.isStreamOpen()) audio.closeStream();
        }))
        std::fprintf(stderr, "%s\n", HungMessage().c_str());
    const std::lock_guard lock(openStreamMutex);
    openStream = nullptr;
}

bool DuplexStream::EndWithin(void (*end)(RtAudio&))
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

std::string DuplexStream::HungMessage() const
{
    return "The sound stream on \"" + play_.name + "\" and \"" + record_.name +
           "\" could not be stopped: the sound library did not return within 3 s. It was left behind; restart "
           "the program before using the sound devices again.";
}

void DuplexStream::Start()
{
    if (pulse_) {
        pulse_->Start();
    } else {
        if (!library_) throw AudioError(HungMessage());
        try {
            library_->audio.startStream();
        } catch (const RtAudioError& e) {
            throw AudioError("The sound stream on \"" + play_.name + "\" and \"" + record_.name +
                             "\" did not start: " + e.getMessage());
        }
    }
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + kFlowTimeout;
    while (framesHanded_ < settings_.rate / 4) {
        if (std::chrono::steady_clock::now() > giveUp || Failure())
            throw AudioError("The sound stream on \"" + play_.name + "\" and \"" + record_.name +
                             "\" did not move: " + Failure().value_or("no sound came through in 5 s."));
        std::this_thread::sleep_for(10ms);
    }
    watching_ = true;
}

void DuplexStream::Stop()
{
    if (pulse_) pulse_->Stop();
    if (!library_) return;
    if (!EndWithin([](RtAudio& audio) {
            if (audio.isStreamRunning()) audio.stopStream();
        }))
        throw AudioError(HungMessage());
}

std::optional<std::string> DuplexStream::Failure() const
{
    if (pulse_)
        if (std::optional<std::string> failure = pulse_->Failure()) return failure;
    const std::lock_guard lock(failureMutex_);
    return failure_;
}

std::optional<std::string> DuplexStream::GoneDevice() const
{
    std::vector<AudioDevice> devices;
    try {
        devices = ListAudioDevices();
    } catch (const AudioError&) {
        return play_.name;  // the whole sound system went away
    }
    const auto listed = [&devices](const AudioDevice& wanted, AudioDirection direction) {
        for (const AudioDevice& device : devices) {
            const int channels = direction == AudioDirection::Output ? device.outputChannels : device.inputChannels;
            if (device.name == wanted.name && channels > 0) return true;
        }
        return false;
    };
    if (!listed(play_, AudioDirection::Output)) return play_.name;
    if (!listed(record_, AudioDirection::Input)) return record_.name;
    return std::nullopt;
}

void DuplexStream::OnBlock(std::span<float> play, std::span<const float> record, bool underrun, bool overrun)
{
    // Before the stream flows, a server's start-up (a playback not yet fed) is no loss.
    if (watching_) {
        if (underrun) ++underruns_;
        if (overrun) ++overruns_;
    }
    WatchClock(static_cast<unsigned int>(play.size() / static_cast<std::size_t>(settings_.playChannels)));
    callback_(play, record);
}

void DuplexStream::WatchClock(unsigned int frames)
{
    const std::int64_t handed = framesHanded_.fetch_add(frames);
    if (!watching_) return;
    const auto now = std::chrono::steady_clock::now();
    if (watchedFrom_ < 0) {
        watchedFrom_ = handed;
        watchStart_ = now;
    }
    clock_.Note(std::chrono::duration<double>(now - watchStart_).count(), handed - watchedFrom_);
    gaps_ = clock_.Gaps();
}

void DuplexStream::Fail(const std::string& message)
{
    const std::lock_guard lock(failureMutex_);
    if (!failure_) failure_ = message;
}
