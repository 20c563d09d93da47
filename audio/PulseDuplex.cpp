#include "PulseDuplex.h"

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "AudioDevices.h"

namespace {

// How far ahead of the frame recorded with it a frame is placed in the
// playback: the recording's way to this program, a block's work and the
// sink's own read-ahead, and room for the thread to be held up a little
// without losing sound.
constexpr double kLeadSeconds = 0.1;
std::int64_t LeadFrames(int rate) { return std::lround(kLeadSeconds * rate); }
constexpr auto kServerChooses = static_cast<std::uint32_t>(-1);

pa_sample_spec SampleSpec(int rate, int channels)
{
    pa_sample_spec format{};
    format.format = PA_SAMPLE_FLOAT32LE;
    format.rate = static_cast<std::uint32_t>(rate);
    format.channels = static_cast<std::uint8_t>(channels);
    return format;
}

// Every change of state, every recorded fragment and every underrun wakes
// the stream's thread.
void Wake(pa_threaded_mainloop* mainloop) { pa_threaded_mainloop_signal(mainloop, 0); }
void OnContextChange(pa_context*, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }
void OnStreamChange(pa_stream*, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }
void OnReadable(pa_stream*, std::size_t, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }

}  // namespace

// The server's objects; every call on them is made with the mainloop's lock held.
struct PulseDuplex::Server {
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* context = nullptr;
    pa_stream* record = nullptr;
    pa_stream* playback = nullptr;
    std::atomic<bool> underran{false};

    ~Server()
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

    std::string Error() const { return pa_strerror(pa_context_errno(context)); }
    bool Ready(pa_stream* stream) const { return pa_stream_get_state(stream) == PA_STREAM_READY; }

    void Open(const PulseEnds& ends)
    {
        mainloop = pa_threaded_mainloop_new();
        if (!mainloop) throw AudioError("The sound server cannot be reached: no client could be started.");
        context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "quenbar");
        pa_context_set_state_callback(context, &OnContextChange, mainloop);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(mainloop) < 0)
            throw AudioError("The sound server cannot be reached: " + Error());
        pa_threaded_mainloop_lock(mainloop);
        std::string error;
        const bool connected = Connect(ends, error);
        pa_threaded_mainloop_unlock(mainloop);
        if (!connected) throw AudioError(error);
    }

private:
    bool Connect(const PulseEnds& ends, std::string& error)
    {
        while (pa_context_get_state(context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
                error = "The sound server cannot be reached: " + Error();
                return false;
            }
            pa_threaded_mainloop_wait(mainloop);
        }
        const auto block = [&ends](int channels) {
            return static_cast<std::uint32_t>(ends.blockFrames * static_cast<unsigned int>(channels) * sizeof(float));
        };
        pa_buffer_attr recordAttr{kServerChooses, kServerChooses, kServerChooses, kServerChooses,
                                  block(ends.recordChannels)};
        record = NewStream("measurement (recording)", ends.rate, ends.recordChannels);
        pa_stream_set_read_callback(record, &OnReadable, mainloop);
        if (pa_stream_connect_record(record, ends.source.c_str(), &recordAttr, PA_STREAM_ADJUST_LATENCY) < 0 ||
            !WaitReady(record)) {
            error = "The sound device \"" + ends.source + "\" cannot be recorded: " + Error();
            return false;
        }
        // No pre-buffering: the playback runs from its start on and never
        // stops to fill up again, so every frame keeps its time.
        const auto leadBytes = static_cast<std::uint32_t>(LeadFrames(ends.rate) * ends.playChannels * sizeof(float));
        pa_buffer_attr playAttr{kServerChooses, leadBytes, 0, block(ends.playChannels), kServerChooses};
        playback = NewStream("measurement (playback)", ends.rate, ends.playChannels);
        pa_stream_set_underflow_callback(
            playback,
            [](pa_stream*, void* data) {
                auto* server = static_cast<Server*>(data);
                server->underran = true;
                Wake(server->mainloop);
            },
            this);
        if (pa_stream_connect_playback(playback, ends.sink.c_str(), &playAttr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0 ||
            !WaitReady(playback)) {
            error = "The sound device \"" + ends.sink + "\" cannot be played into: " + Error();
            return false;
        }
        return true;
    }

    pa_stream* NewStream(const char* name, int rate, int channels)
    {
        const pa_sample_spec format = SampleSpec(rate, channels);
        pa_stream* stream = pa_stream_new(context, name, &format, nullptr);
        pa_stream_set_state_callback(stream, &OnStreamChange, mainloop);
        return stream;
    }

    bool WaitReady(pa_stream* stream)
    {
        while (!Ready(stream)) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) return false;
            pa_threaded_mainloop_wait(mainloop);
        }
        return true;
    }
};

PulseDuplex::PulseDuplex(const PulseEnds& ends, Callback callback)
    : ends_(ends), callback_(std::move(callback)), server_(std::make_unique<Server>())
{
    server_->Open(ends_);
}

PulseDuplex::~PulseDuplex() { Stop(); }

void PulseDuplex::Start()
{
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
}

void PulseDuplex::Stop()
{
    stopping_ = true;
    pa_threaded_mainloop_lock(server_->mainloop);
    Wake(server_->mainloop);
    pa_threaded_mainloop_unlock(server_->mainloop);
    if (thread_.joinable()) thread_.join();
}

std::optional<std::string> PulseDuplex::Failure() const
{
    const std::lock_guard lock(failureMutex_);
    return failure_;
}

void PulseDuplex::Fail(const std::string& message)
{
    const std::lock_guard lock(failureMutex_);
    if (!failure_) failure_ = message;
}

void PulseDuplex::Run()
{
    Server& server = *server_;
    const std::size_t recordFrameBytes = static_cast<std::size_t>(ends_.recordChannels) * sizeof(float);
    const std::size_t playFrameBytes = static_cast<std::size_t>(ends_.playChannels) * sizeof(float);
    const std::int64_t lead = LeadFrames(ends_.rate);
    const std::size_t blockBytes = ends_.blockFrames * recordFrameBytes;
    std::int64_t frame = 0;   // recorded and handed over so far
    std::vector<char> pending;  // recorded bytes not yet handed over
    std::vector<float> record, play;
    pa_threaded_mainloop_lock(server.mainloop);
    while (!stopping_) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (!server.Ready(server.record) || !server.Ready(server.playback)) {
            Fail(server.Error());
            break;
        }
        // A server may hand the recording on in pieces of a frame or two.
        // Taken one by one, each would be a write of its own, and the server
        // runs out of room for so many: whole blocks only.
        const std::size_t readable = pa_stream_readable_size(server.record);
        if (readable == static_cast<std::size_t>(-1)) {
            Fail(server.Error());
            break;
        }
        if (pending.size() + readable < blockBytes) {
            pa_threaded_mainloop_wait(server.mainloop);
            continue;
        }
        if (pa_stream_peek(server.record, &data, &bytes) < 0) {
            Fail(server.Error());
            break;
        }
        const bool hole = data == nullptr;
        const std::size_t had = pending.size();
        pending.resize(had + bytes);
        if (!hole)
            std::memcpy(pending.data() + had, data, bytes);
        else
            std::fill(pending.begin() + static_cast<std::ptrdiff_t>(had), pending.end(), 0);
        pa_stream_drop(server.record);
        if (pending.size() < blockBytes) continue;
        const std::size_t frames = pending.size() / recordFrameBytes;
        record.resize(frames * static_cast<std::size_t>(ends_.recordChannels));
        play.resize(frames * static_cast<std::size_t>(ends_.playChannels));
        std::memcpy(record.data(), pending.data(), frames * recordFrameBytes);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(frames * recordFrameBytes));

        pa_threaded_mainloop_unlock(server.mainloop);
        for (std::size_t done = 0; done < frames; done += ends_.blockFrames) {
            const std::size_t count = std::min<std::size_t>(ends_.blockFrames, frames - done);
            callback_({play.data() + done * static_cast<std::size_t>(ends_.playChannels),
                       count * static_cast<std::size_t>(ends_.playChannels)},
                      {record.data() + done * static_cast<std::size_t>(ends_.recordChannels),
                       count * static_cast<std::size_t>(ends_.recordChannels)},
                      {server.underran.exchange(false), hole && done == 0});
        }
        pa_threaded_mainloop_lock(server.mainloop);
        // At its place, however late: what the server has played by now it drops.
        const auto position = static_cast<std::int64_t>(frame + lead) * static_cast<std::int64_t>(playFrameBytes);
        if (frames > 0 &&
            pa_stream_write(server.playback, play.data(), frames * playFrameBytes, nullptr, position,
                            PA_SEEK_ABSOLUTE) < 0) {
            Fail(server.Error());
            break;
        }
        frame += static_cast<std::int64_t>(frames);
    }
    pa_threaded_mainloop_unlock(server.mainloop);
}
