#include "PulseDuplex.h"

#include "RelationWatch.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the playback asks the server to keep queued ahead of its read index:
// room for the thread to be held up a little without losing sound. The
// server sizes the sink's blocks to it.
constexpr double kQueuedSeconds = 0.1;
// How often the server is asked where both ends stand, and how far back a
// slip it shows may lie: the watch is sure of one after two windows of
// four looks, and the step falls in the window before them.
constexpr auto kWatchEvery = std::chrono::milliseconds(50);
constexpr double kSlipReachSeconds = 0.8;
// How long the server may take to say where its playback stands.
constexpr auto kPositionTimeout = std::chrono::seconds(2);
constexpr auto kServerChooses = static_cast<std::uint32_t>(-1);

pa_sample_spec SampleSpec(int rate, int channels)
{
    pa_sample_spec format{};
    format.format = PA_SAMPLE_FLOAT32LE;
    format.rate = static_cast<std::uint32_t>(rate);
    format.channels = static_cast<std::uint8_t>(channels);
    return format;
}

// Every change of state, every recorded fragment, every request for more to
// play and every underrun wakes the stream's thread.
void Wake(pa_threaded_mainloop* mainloop) { pa_threaded_mainloop_signal(mainloop, 0); }
void OnContextChange(pa_context*, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }
void OnStreamChange(pa_stream*, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }
void OnData(pa_stream*, std::size_t, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }
void OnDone(pa_stream*, int, void* mainloop) { Wake(static_cast<pa_threaded_mainloop*>(mainloop)); }

}  // namespace

// The server's objects; every call on them is made with the mainloop's lock held.
struct PulseDuplex::Server {
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* context = nullptr;
    pa_stream* record = nullptr;
    pa_stream* playback = nullptr;
    // Where the playback last ran dry, in bytes (-1: the server did not say);
    // kNone while it has not since the last look.
    std::atomic<std::int64_t> underrunAt{kNone};
    // PipeWire's server drops recorded frames without a hole for the client,
    // and its accounting is exact; PulseAudio's reports its holes, and its
    // accounting moves by the sink's blocks.
    bool pipewire = false;
    static constexpr std::int64_t kNone = INT64_MIN;

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

    void Open(const DuplexEnds& ends, bool recordCorked)
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
        const bool connected = Connect(ends, recordCorked, error);
        pa_threaded_mainloop_unlock(mainloop);
        if (!connected) throw AudioError(error);
    }

    // Waits (the lock held) until the operation has run; false when it
    // failed or the server did not answer in time.
    bool Await(pa_operation* operation, Clock::time_point giveUp)
    {
        if (!operation) return false;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && Clock::now() < giveUp)
            pa_threaded_mainloop_wait(mainloop);
        const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        pa_operation_unref(operation);
        return done;
    }

private:
    bool Connect(const DuplexEnds& ends, bool recordCorked, std::string& error)
    {
        while (pa_context_get_state(context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
                error = "The sound server cannot be reached: " + Error();
                return false;
            }
            pa_threaded_mainloop_wait(mainloop);
        }
        AskWhichServer();
        const auto bytes = [](double frames, int channels) {
            return static_cast<std::uint32_t>(std::lround(frames) * channels * static_cast<long>(sizeof(float)));
        };
        pa_buffer_attr recordAttr{kServerChooses, kServerChooses, kServerChooses, kServerChooses,
                                  bytes(ends.blockFrames, ends.recordChannels)};
        record = NewStream("measurement (recording)", ends.rate, ends.recordChannels);
        pa_stream_set_read_callback(record, &OnData, mainloop);
        const auto recordFlags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                                (recordCorked ? PA_STREAM_START_CORKED : 0));
        if (pa_stream_connect_record(record, ends.record.serverName.c_str(), &recordAttr, recordFlags) < 0 ||
            !WaitReady(record)) {
            error = "The sound device \"" + ends.record.name + "\" cannot be recorded: " + Error();
            return false;
        }
        // No pre-buffering: the playback runs from its start on and never
        // stops to fill up again, so every frame keeps its time.
        pa_buffer_attr playAttr{kServerChooses, bytes(kQueuedSeconds * ends.rate, ends.playChannels), 0,
                                bytes(ends.blockFrames, ends.playChannels), kServerChooses};
        playback = NewStream("measurement (playback)", ends.rate, ends.playChannels);
        pa_stream_set_write_callback(playback, &OnData, mainloop);
        pa_stream_set_underflow_callback(
            playback,
            [](pa_stream* stream, void* data) {
                auto* server = static_cast<Server*>(data);
                server->underrunAt = pa_stream_get_underflow_index(stream);
                Wake(server->mainloop);
            },
            this);
        if (pa_stream_connect_playback(playback, ends.play.serverName.c_str(), &playAttr, PA_STREAM_ADJUST_LATENCY,
                                       nullptr, nullptr) < 0 ||
            !WaitReady(playback)) {
            error = "The sound device \"" + ends.play.name + "\" cannot be played into: " + Error();
            return false;
        }
        return true;
    }

    // PipeWire's server names itself "PulseAudio (on PipeWire 0.3.65)".
    void AskWhichServer()
    {
        pa_operation* asked = pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* server = static_cast<Server*>(data);
                server->pipewire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
                Wake(server->mainloop);
            },
            this);
        Await(asked, Clock::now() + kPositionTimeout);
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

namespace {

// The stream's thread's own state: the relation and both ends' places.
class Flow {
public:
    Flow(PulseDuplex::Server& server, const DuplexEnds& ends, const DuplexCallbacks& callbacks,
         std::atomic<bool>& settled)
        : server_(server),
          settled_(settled),
          ends_(ends),
          callbacks_(callbacks),
          recordFrameBytes_(static_cast<std::size_t>(ends.recordChannels) * sizeof(float)),
          playFrameBytes_(static_cast<std::size_t>(ends.playChannels) * sizeof(float)),
          play_(static_cast<std::size_t>(ends.blockFrames) * static_cast<std::size_t>(ends.playChannels))
    {
    }

    bool Anchored() const { return firstWrite_ >= 0; }

    // Sets the relation: the first frame to play a margin ahead of where the
    // server reads now, with the first frame recorded from now on. Empty
    // when it is set, else why it cannot be.
    std::optional<std::string> Anchor()
    {
        const auto giveUp = Clock::now() + kPositionTimeout;
        const pa_timing_info* timing = nullptr;
        while (Clock::now() < giveUp) {
            if (!server_.Await(pa_stream_update_timing_info(server_.playback, &OnDone, server_.mainloop), giveUp))
                break;
            timing = pa_stream_get_timing_info(server_.playback);
            if (timing && !timing->read_index_corrupt) break;
            timing = nullptr;
        }
        if (!timing)
            return "the sound server does not say where its playback on \"" + ends_.play.name + "\" stands (" +
                   server_.Error() + "), so what is played cannot be placed against what is recorded.";
        const double age = static_cast<double>(pa_timeval_age(&timing->timestamp)) / 1e6;
        const auto readFrame = static_cast<std::int64_t>(timing->read_index / static_cast<std::int64_t>(playFrameBytes_));
        const auto sinkFrames = static_cast<std::int64_t>(static_cast<double>(timing->sink_usec) / 1e6 * ends_.rate);
        // The server takes what it plays in blocks of about the sink's
        // latency: the first frame lies beyond the next such block.
        const std::int64_t margin = sinkFrames + 2 * static_cast<std::int64_t>(ends_.blockFrames);
        firstWrite_ = readFrame + std::llround(age * ends_.rate) + margin;
        marginFrames_ = margin;
        DropRecorded();
        server_.underrunAt = PulseDuplex::Server::kNone;
        return std::nullopt;
    }

    // Hands over what has been recorded; false when nothing was.
    bool Record(std::string& error)
    {
        bool moved = false;
        while (true) {
            const std::size_t readable = pa_stream_readable_size(server_.record);
            if (readable == static_cast<std::size_t>(-1)) {
                error = server_.Error();
                return moved;
            }
            if (readable == 0) return moved;
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(server_.record, &data, &bytes) < 0) {
                error = server_.Error();
                return moved;
            }
            if (bytes == 0) return moved;
            HandRecorded(data, bytes);
            pa_stream_drop(server_.record);
            moved = true;
        }
    }

    // Writes as much as the server asks for, block by block; false when it
    // asks for nothing.
    bool Play(std::string& error)
    {
        bool moved = false;
        const std::size_t blockBytes = play_.size() * sizeof(float);
        for (std::size_t writable = pa_stream_writable_size(server_.playback);
             writable != static_cast<std::size_t>(-1) && writable >= blockBytes; writable -= blockBytes) {
            callbacks_.play(play_);
            const std::int64_t at = (firstWrite_ + played_) * static_cast<std::int64_t>(playFrameBytes_);
            if (pa_stream_write(server_.playback, play_.data(), blockBytes, nullptr, at, PA_SEEK_ABSOLUTE) < 0) {
                error = server_.Error();
                return moved;
            }
            played_ += ends_.blockFrames;
            moved = true;
        }
        return moved;
    }

    // An underrun since the last look, at its frame where the server says
    // it (else from the margin behind what is being written), as far as
    // what is written now: what was due there may have come too late.
    void ReportUnderrun()
    {
        const std::int64_t at = server_.underrunAt.exchange(PulseDuplex::Server::kNone);
        if (at == PulseDuplex::Server::kNone) return;
        const std::int64_t frame =
            at >= 0 ? at / static_cast<std::int64_t>(playFrameBytes_) - firstWrite_ : played_ - marginFrames_;
        if (frame + marginFrames_ < 0) return;  // before the first frame: the server's start
        const std::int64_t first = std::max<std::int64_t>(frame, 0);
        callbacks_.lost({StreamLoss::Kind::Underrun, first, std::max<std::int64_t>(played_ - first, 1)});
    }

    // On PipeWire's server: asks where both ends stand every kWatchEvery and
    // hands that to the watch. A slip is made good in the recording (the frames it
    // lost put back as silence, those it gained left out) from the next
    // frames on, and the last kSlipReach of the recording is a loss: the
    // frames recorded since the slip came at another place.
    void WatchRelation()
    {
        if (!server_.pipewire) return;
        if (Clock::now() - asked_ >= kWatchEvery) {
            asked_ = Clock::now();
            for (pa_stream* stream : {server_.playback, server_.record})
                if (pa_operation* update = pa_stream_update_timing_info(stream, nullptr, nullptr))
                    pa_operation_unref(update);
        }
        const pa_timing_info* played = pa_stream_get_timing_info(server_.playback);
        const pa_timing_info* recorded = pa_stream_get_timing_info(server_.record);
        if (!played || !recorded || played->read_index_corrupt || recorded->write_index_corrupt) return;
        if (Same(played->timestamp, playedSeen_) || Same(recorded->timestamp, recordedSeen_)) return;
        playedSeen_ = played->timestamp;
        recordedSeen_ = recorded->timestamp;
        if (const std::optional<std::int64_t> slip = watch_.Note(Frames(*played, true) - Frames(*recorded, false))) {
            shift_ += *slip;
            const auto reach = std::min(recorded_, static_cast<std::int64_t>(kSlipReachSeconds * ends_.rate));
            callbacks_.lost({StreamLoss::Kind::Slip, recorded_ - reach, reach + std::abs(*slip) + 1});
        }
        settled_ = watch_.Settled();
    }

private:
    // Where the server plays (reads the playback) or records (writes the
    // recording) now, in frames of its stream.
    double Frames(const pa_timing_info& timing, bool playback) const
    {
        const double rate = ends_.rate;
        const double bytes = static_cast<double>(playback ? timing.read_index : timing.write_index);
        const double frames = bytes / static_cast<double>(playback ? playFrameBytes_ : recordFrameBytes_);
        const double since = static_cast<double>(pa_timeval_age(&timing.timestamp)) / 1e6 * rate;
        const double device = static_cast<double>(playback ? timing.sink_usec : timing.source_usec) / 1e6 * rate;
        return frames + since + (playback ? -device : device);
    }

    static bool Same(const timeval& a, const timeval& b) { return a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec; }

    // The frames a slip lost, put back as silence before the next ones.
    void PutBackLost()
    {
        if (shift_ <= 0) return;
        silence_.assign(static_cast<std::size_t>(shift_) * static_cast<std::size_t>(ends_.recordChannels), 0.0f);
        recorded_ += shift_;
        shift_ = 0;
        callbacks_.record(silence_);
    }

    void DropRecorded()
    {
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(server_.record) > 0 && pa_stream_peek(server_.record, &data, &bytes) >= 0 &&
               bytes > 0)
            pa_stream_drop(server_.record);
        pending_.clear();
    }

    // In whole frames: a piece may end within one.
    void HandRecorded(const void* data, std::size_t bytes)
    {
        const std::size_t had = pending_.size();
        pending_.resize(had + bytes);
        if (data)
            std::memcpy(pending_.data() + had, data, bytes);
        else
            std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(had), pending_.end(), 0);
        const std::size_t frames = pending_.size() / recordFrameBytes_;
        if (frames == 0) return;
        if (!data)
            callbacks_.lost({StreamLoss::Kind::Overrun, recorded_, static_cast<std::int64_t>(bytes / recordFrameBytes_)});
        PutBackLost();
        // The frames a slip gained are left out.
        const std::size_t gained = std::min(frames, static_cast<std::size_t>(std::max<std::int64_t>(-shift_, 0)));
        shift_ += static_cast<std::int64_t>(gained);
        const std::size_t kept = frames - gained;
        recorded_ += static_cast<std::int64_t>(kept);
        record_.resize(kept * static_cast<std::size_t>(ends_.recordChannels));
        std::memcpy(record_.data(), pending_.data() + gained * recordFrameBytes_, kept * recordFrameBytes_);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(frames * recordFrameBytes_));
        if (kept > 0) callbacks_.record(record_);
    }

    PulseDuplex::Server& server_;
    std::atomic<bool>& settled_;
    const DuplexEnds& ends_;
    const DuplexCallbacks& callbacks_;
    const std::size_t recordFrameBytes_;
    const std::size_t playFrameBytes_;
    std::vector<float> play_;
    std::vector<float> record_;
    std::vector<char> pending_;     // recorded bytes of a frame not yet whole
    std::int64_t firstWrite_ = -1;  // the playback's frame of the first frame played
    std::int64_t marginFrames_ = 0;
    std::int64_t played_ = 0;  // frames handed over each way since the relation was set
    std::int64_t recorded_ = 0;
    RelationWatch watch_;
    std::int64_t shift_ = 0;  // frames still to put into the recording (below 0: to leave out)
    std::vector<float> silence_;
    Clock::time_point asked_;
    timeval playedSeen_{};
    timeval recordedSeen_{};
};

}  // namespace

PulseDuplex::PulseDuplex(const DuplexEnds& ends, DuplexCallbacks callbacks, PulseTrials trials)
    : ends_(ends), callbacks_(std::move(callbacks)), trials_(trials), server_(std::make_unique<Server>())
{
    server_->Open(ends_, trials_.recordingLate.count() > 0);
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
    Flow flow(server, ends_, callbacks_, settled_);
    const Clock::time_point uncorkAt = Clock::now() + trials_.recordingLate;
    bool corked = trials_.recordingLate.count() > 0;
    pa_threaded_mainloop_lock(server.mainloop);
    std::string error;
    while (!stopping_ && error.empty()) {
        if (!server.Ready(server.record) || !server.Ready(server.playback)) {
            error = server.Error();
            break;
        }
        if (corked && Clock::now() >= uncorkAt) {
            pa_operation* uncork = pa_stream_cork(server.record, 0, nullptr, nullptr);
            if (uncork) pa_operation_unref(uncork);
            corked = false;
        }
        bool moved = false;
        if (!flow.Anchored()) {
            // Both run once the recording delivers: only then is the
            // relation set, however late its first frames come.
            if (!corked && pa_stream_readable_size(server.record) > 0) {
                if (const std::optional<std::string> why = flow.Anchor()) {
                    error = *why;
                    break;
                }
                moved = true;
            }
        } else {
            moved = flow.Record(error);
            moved |= flow.Play(error);
            flow.ReportUnderrun();
            flow.WatchRelation();
        }
        if (!moved && error.empty() && !stopping_) {
            if (corked) {
                // Woken by the playback's requests meanwhile, which go unanswered.
                pa_threaded_mainloop_unlock(server.mainloop);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                pa_threaded_mainloop_lock(server.mainloop);
            } else {
                pa_threaded_mainloop_wait(server.mainloop);
            }
        }
    }
    pa_threaded_mainloop_unlock(server.mainloop);
    if (!error.empty()) Fail(error);
}
