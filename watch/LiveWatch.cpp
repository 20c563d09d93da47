#include "LiveWatch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace {

// Room for what the stream hands over between two looks (a face looks
// several times a second; a busy machine may keep it away longer).
constexpr double kQueueSeconds = 4.0;

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const WatchSettings& Checked(const WatchSettings& settings)
{
    if (const auto fault = FaultOf(settings)) throw std::invalid_argument(fault->text);
    return settings;
}

}  // namespace

bool SameAlarms(const std::vector<WatchAlarm>& a, const std::vector<WatchAlarm>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const WatchAlarm& x, const WatchAlarm& y) {
        return x.alarm.kind == y.alarm.kind && x.alarm.hz == y.alarm.hz;
    });
}

std::vector<double> StoredLevels(const LevelCurve& stored, const std::vector<double>& points)
{
    std::vector<double> db;
    for (double hz : points)
        db.push_back(hz < stored.hz.front() || hz > stored.hz.back() ? std::nan("") : LevelAt(stored, hz));
    return db;
}

LiveWatch::LiveWatch(const WatchSettings& settings, const SoundSystem& system)
    : settings_(Checked(settings)), analysis_(settings.rate, settings.averageSeconds)
{
    DuplexSettings duplex;
    duplex.recordDevice = settings.recordDevice;
    duplex.rate = settings.rate;
    duplex.recordChannels = 0;  // all, so that both channels are there as they are
    DuplexHandler handler;
    handler.play = [](std::span<float> play) { std::fill(play.begin(), play.end(), 0.0f); };
    handler.record = [this](std::span<const float> record) { queue_->Push(record); };
    stream_ = std::make_unique<DuplexStream>(duplex, std::move(handler), system);
    stream_->RequireRecordChannel(settings.microphoneChannel, "microphone");
    stream_->RequireRecordChannel(settings.referenceChannel, "reference");
    channels_ = static_cast<std::size_t>(stream_->RecordChannels());
    queue_ = std::make_unique<FrameQueue>(static_cast<std::size_t>(kQueueSeconds * settings.rate), channels_);
}

LiveWatch::~LiveWatch()
{
    try {
        if (stream_) stream_->Stop();
    } catch (const AudioError&) {
        // A stream that hangs as it stops is given up by the sound system.
    }
}

void LiveWatch::SetStored(const std::optional<LevelCurve>& stored)
{
    if (!stored) {
        analysis_.SetStored({});
        return;
    }
    analysis_.SetStored(StoredLevels(*stored, analysis_.Points()));
}

WatchEdit LiveWatch::MarkEdit(std::string what)
{
    const double seconds = static_cast<double>(stream_->Recorded()) / settings_.rate;
    const std::lock_guard lock(editsMutex_);
    edits_.push_back({seconds, std::move(what)});
    editsKnown_ = true;
    return edits_.back();
}

void LiveWatch::Start()
{
    stream_->Start();
    lastRecorded_ = stream_->Recorded();
    stalledSince_ = SteadySeconds();
}

void LiveWatch::TakeRecorded()
{
    if (const auto failure = stream_->Failure()) throw AudioError(*failure);
    const std::int64_t recorded = stream_->Recorded();
    const double now = SteadySeconds();
    if (recorded != lastRecorded_) {
        lastRecorded_ = recorded;
        stalledSince_ = now;
    } else if (now - stalledSince_ > kStreamStalledSeconds) {
        throw AudioError(stream_->StalledText());
    }
    recorded_.clear();
    queue_->TakeInto(recorded_);
    const std::size_t frames = recorded_.size() / channels_;
    std::vector<float> reference(frames), microphone(frames);
    const auto mic = static_cast<std::size_t>(settings_.microphoneChannel - 1);
    const auto ref = static_cast<std::size_t>(settings_.referenceChannel - 1);
    for (std::size_t f = 0; f < frames; ++f) {
        microphone[f] = recorded_[f * channels_ + mic];
        reference[f] = recorded_[f * channels_ + ref];
    }
    analysis_.Add(reference, microphone);
}

WatchLook LiveWatch::Look()
{
    TakeRecorded();
    WatchLook look;
    look.seconds = analysis_.Seconds();
    look.delaySeconds = analysis_.Delay();
    look.trace = analysis_.Trace();
    look.coherentShare = CoherentShare(look.trace);
    look.storedOffsetDb = analysis_.StoredOffset(look.trace);
    const std::lock_guard lock(editsMutex_);
    for (const TraceAlarm& alarm : analysis_.Alarms(look.trace))
        look.alarms.push_back({alarm, AlarmText(alarm, EditBefore(edits_, alarm.sinceSeconds), editsKnown_)});
    look.edits = edits_;
    return look;
}
