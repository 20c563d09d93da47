#include "emulator/audio/PulseAudioLoop.h"

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace rx74emu {
namespace {

constexpr int kChannels = 2;
constexpr std::size_t kFrameBytes = kChannels * sizeof(float);
constexpr const char* kClientName = "rx74-emulator";
// The room is ready once this much has been written in time, block after
// block, each ahead of where the server reads: its sound then runs steadily.
constexpr double kSteadyMs = 500.0;
constexpr auto kSteadyTimeout = std::chrono::seconds(5);

pa_sample_spec SampleSpec()
{
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = static_cast<std::uint32_t>(kSampleRate);
    sampleFormat.channels = kChannels;
    return sampleFormat;
}

pa_buffer_attr ServerChooses()
{
    constexpr auto any = static_cast<std::uint32_t>(-1);
    return {any, any, any, any, any};
}

// Every change of state and every recorded fragment wakes the audio thread.
void OnContextChange(pa_context*, void* mainloop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}
void OnStreamChange(pa_stream*, void* mainloop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}
void OnReadable(pa_stream*, std::size_t, void* mainloop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}
void OnDone(pa_stream*, int, void* mainloop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

}  // namespace

// The server's objects; every call on them but the first connect is made
// with the mainloop's lock held.
struct PulseAudioLoop::Streams {
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* context = nullptr;
    pa_stream* record = nullptr;
    pa_stream* playback = nullptr;

    ~Streams()
    {
        if (!mainloop) return;
        pa_threaded_mainloop_lock(mainloop);
        for (pa_stream* stream : {record, playback})
            if (stream) {
                pa_stream_disconnect(stream);
                pa_stream_unref(stream);
            }
        if (context) pa_context_disconnect(context);
        pa_threaded_mainloop_unlock(mainloop);
        pa_threaded_mainloop_stop(mainloop);
        if (context) pa_context_unref(context);
        pa_threaded_mainloop_free(mainloop);
    }

    std::string ServerError() const { return pa_strerror(pa_context_errno(context)); }

    // False with the reason in `error`.
    bool Open(const AudioDevices& devices, std::string& error)
    {
        mainloop = pa_threaded_mainloop_new();
        if (!mainloop) {
            error = "cannot start a PulseAudio client";
            return false;
        }
        context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), kClientName);
        pa_context_set_state_callback(context, &OnContextChange, mainloop);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 ||
            pa_threaded_mainloop_start(mainloop) < 0) {
            error = "cannot reach the sound server: " + ServerError();
            return false;
        }
        pa_threaded_mainloop_lock(mainloop);
        const bool open = Connect(devices, error);
        pa_threaded_mainloop_unlock(mainloop);
        return open && WaitForRecording(error) && WaitForPlayback(error);
    }

    bool Good(pa_stream* stream) const { return pa_stream_get_state(stream) == PA_STREAM_READY; }

    // How far the server has read the playback (bytes from its start), -1
    // when it cannot say. Called with the lock held.
    std::int64_t PlaybackRead()
    {
        pa_operation* update = pa_stream_update_timing_info(playback, &OnDone, mainloop);
        if (!update) return -1;
        while (pa_operation_get_state(update) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(mainloop);
        pa_operation_unref(update);
        const pa_timing_info* timing = pa_stream_get_timing_info(playback);
        return timing && !timing->read_index_corrupt ? timing->read_index : -1;
    }

    // Drops what has been recorded so far. Called with the lock held.
    void DropRecording()
    {
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(record) > 0 && pa_stream_peek(record, &data, &bytes) == 0 && bytes > 0)
            pa_stream_drop(record);
    }

private:
    enum class Seen { NotYet, Ready, Failed };

    // Looks (with the lock held) every 10 ms until `look` sees the stream
    // ready, at most 5 s; false with the reason in `error` otherwise.
    bool WaitUntil(const std::function<Seen()>& look, const char* failing, const char* tooLate, std::string& error)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            pa_threaded_mainloop_lock(mainloop);
            const Seen seen = look();
            pa_threaded_mainloop_unlock(mainloop);
            if (seen == Seen::Ready) return true;
            if (seen == Seen::Failed) {
                error = std::string(failing) + ": " + ServerError();
                return false;
            }
            if (std::chrono::steady_clock::now() > giveUp) {
                error = tooLate;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // A null sink that nobody asked for a latency renders in blocks of up to
    // two seconds, and a stream that connects meanwhile gets nothing until
    // the block is done: a sound played into the room then would be lost.
    // The room is ready once its recording comes.
    bool WaitForRecording(std::string& error)
    {
        return WaitUntil(
            [this] {
                const std::size_t readable = pa_stream_readable_size(record);
                if (readable == static_cast<std::size_t>(-1)) return Seen::Failed;
                return readable > 0 ? Seen::Ready : Seen::NotYet;
            },
            "cannot record", "no sound came from the unit's inputs in 5 s", error);
    }

    // Likewise a null sink may still be in such a block when the playback
    // connects: it takes the first frames only at the block's end, and then
    // plays from where the block ended, whatever was written before.
    bool WaitForPlayback(std::string& error)
    {
        return WaitUntil(
            [this] {
                const std::int64_t read = PlaybackRead();
                if (read < 0) return Seen::Failed;
                return read > 0 ? Seen::Ready : Seen::NotYet;
            },
            "cannot play", "the microphone's device took no sound in 5 s", error);
    }

    bool Connect(const AudioDevices& devices, std::string& error)
    {
        while (pa_context_get_state(context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
                error = "cannot reach the sound server: " + ServerError();
                return false;
            }
            pa_threaded_mainloop_wait(mainloop);
        }
        const auto blockBytes = static_cast<std::uint32_t>(devices.blockFrames * kFrameBytes);
        pa_buffer_attr recordAttr = ServerChooses();
        recordAttr.fragsize = blockBytes;
        record = NewStream("the unit's inputs");
        pa_stream_set_read_callback(record, &OnReadable, mainloop);
        if (pa_stream_connect_record(record, devices.source.c_str(), &recordAttr, PA_STREAM_ADJUST_LATENCY) < 0 ||
            !WaitReady(record)) {
            error = "cannot record " + devices.source + ": " + ServerError();
            return false;
        }
        // No pre-buffering: the stream plays from its start on and never
        // stops to fill up again, so every frame keeps its time.
        pa_buffer_attr playAttr = ServerChooses();
        playAttr.tlength = static_cast<std::uint32_t>(std::lround(MsToSamples(devices.leadMs))) * kFrameBytes;
        playAttr.prebuf = 0;
        playAttr.minreq = blockBytes;
        playback = NewStream("the microphone in the room");
        if (pa_stream_connect_playback(playback, devices.sink.c_str(), &playAttr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0 ||
            !WaitReady(playback)) {
            error = "cannot play into " + devices.sink + ": " + ServerError();
            return false;
        }
        return true;
    }

    pa_stream* NewStream(const char* name)
    {
        const pa_sample_spec sampleFormat = SampleSpec();
        pa_stream* stream = pa_stream_new(context, name, &sampleFormat, nullptr);
        pa_stream_set_state_callback(stream, &OnStreamChange, mainloop);
        return stream;
    }

    bool WaitReady(pa_stream* stream)
    {
        while (!Good(stream)) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) return false;
            pa_threaded_mainloop_wait(mainloop);
        }
        return true;
    }
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
    streams_ = std::make_unique<Streams>();
    if (!streams_->Open(devices, error_)) {
        streams_.reset();
        return false;
    }
    stopping_ = false;
    steady_ = ended_ = false;
    inTimeFrames_ = 0;
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(steadyMutex_);
    if (steadyChanged_.wait_for(lock, kSteadyTimeout, [this] { return steady_ || ended_; }) && steady_) return true;
    lock.unlock();
    error_ = "the sound did not run steadily within 5 s: its frames kept coming later than the server played them";
    Stop();
    return false;
}

void PulseAudioLoop::Run()
{
    pa_threaded_mainloop* mainloop = streams_->mainloop;
    const auto leadFrames = static_cast<std::int64_t>(std::lround(MsToSamples(devices_.leadMs)));
    const auto block = static_cast<std::size_t>(devices_.blockFrames);
    const std::size_t blockBytes = block * kFrameBytes;
    std::int64_t frame = 0;      // of the recording: the first one not yet played
    std::vector<char> pending;   // recorded bytes short of a whole frame
    std::vector<float> in, out;
    std::string failure;
    pa_threaded_mainloop_lock(mainloop);
    // Both streams run now. From here on, recorded frame n plays at the
    // playback's place of now + n + lead.
    streams_->DropRecording();
    const std::int64_t read = std::max<std::int64_t>(streams_->PlaybackRead(), 0);
    const std::int64_t start = read - read % static_cast<std::int64_t>(kFrameBytes);
    while (!stopping_) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (!streams_->Good(streams_->record) || !streams_->Good(streams_->playback)) {
            failure = streams_->ServerError();
            break;
        }
        // The server may hand the recording on a frame or two at a time:
        // each piece written on its own would use up the server's room for
        // blocks. Whole blocks only.
        const std::size_t readable = pa_stream_readable_size(streams_->record);
        if (readable == static_cast<std::size_t>(-1)) {
            failure = streams_->ServerError();
            break;
        }
        if (pending.size() + readable < blockBytes) {
            pa_threaded_mainloop_wait(mainloop);
            continue;
        }
        if (pa_stream_peek(streams_->record, &data, &bytes) < 0) {
            failure = streams_->ServerError();
            break;
        }
        // A hole in the recording (no data) is silence that keeps its place.
        const std::size_t had = pending.size();
        pending.resize(had + bytes);
        if (data)
            std::memcpy(pending.data() + had, data, bytes);
        else
            std::fill(pending.begin() + static_cast<std::ptrdiff_t>(had), pending.end(), 0);
        pa_stream_drop(streams_->record);
        if (pending.size() < blockBytes) continue;
        const std::size_t frames = pending.size() / kFrameBytes;
        in.resize(frames * kChannels);
        out.resize(frames * kChannels);
        std::memcpy(in.data(), pending.data(), frames * kFrameBytes);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(frames * kFrameBytes));

        pa_threaded_mainloop_unlock(mainloop);
        HoldUpIfAsked();
        for (std::size_t done = 0; done < frames; done += block) {
            path_.Apply(setting_());
            path_.Process(in.data() + done * kChannels, out.data() + done * kChannels, std::min(block, frames - done));
        }
        pa_threaded_mainloop_lock(mainloop);
        // At its place, however late: what the server has played by now it drops.
        const std::int64_t position = start + (frame + leadFrames) * static_cast<std::int64_t>(kFrameBytes);
        if (frames > 0 &&
            pa_stream_write(streams_->playback, out.data(), frames * kFrameBytes, nullptr, position, PA_SEEK_ABSOLUTE) <
                0) {
            failure = streams_->ServerError();
            break;
        }
        frame += static_cast<std::int64_t>(frames);
        if (!steady_) NoteInTime(position >= streams_->PlaybackRead(), frames);
    }
    pa_threaded_mainloop_unlock(mainloop);
    {
        const std::lock_guard lock(steadyMutex_);
        ended_ = true;
    }
    steadyChanged_.notify_all();
    // The line is served on; only the sound has gone.
    if (!stopping_) std::fprintf(stderr, "rx74-emulator: the sound server stopped the audio: %s\n", failure.c_str());
}

void PulseAudioLoop::NoteInTime(bool inTime, std::size_t frames)
{
    inTimeFrames_ = inTime ? inTimeFrames_ + frames : 0;
    if (inTimeFrames_ < static_cast<std::size_t>(MsToSamples(kSteadyMs))) return;
    {
        const std::lock_guard lock(steadyMutex_);
        steady_ = true;
    }
    steadyChanged_.notify_all();
}

void PulseAudioLoop::HoldUpIfAsked()
{
    if (const long long ms = holdUpMs_.exchange(0); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PulseAudioLoop::Stop()
{
    stopping_ = true;
    if (streams_) {
        pa_threaded_mainloop_lock(streams_->mainloop);
        pa_threaded_mainloop_signal(streams_->mainloop, 0);
        pa_threaded_mainloop_unlock(streams_->mainloop);
    }
    if (thread_.joinable()) thread_.join();
    streams_.reset();
}

std::string PulseAudioLoop::Error() const { return error_; }

}  // namespace rx74emu
