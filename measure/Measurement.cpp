#include "Measurement.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <thread>

#include "Decay.h"
#include "DuplexStream.h"
#include "SequenceAnalysis.h"
#include "SequencePlayer.h"
#include "Sweep.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPoll = 10ms;
constexpr auto kLevelEvery = 50ms;
constexpr auto kStalled = std::chrono::duration<double>(kStreamStalledSeconds);
// Room in the recording for the stream's start and for each output's mute
// changes: the sequence gives up when it runs this far over its plan.
constexpr double kStartAllowanceSeconds = 6.0;
constexpr double kMuteAllowanceSeconds = 4.0;
// The most a recording may lag behind what is played: a sound server's 0.4 s
// and more, yet well below a sweep's length, so that the search for a sweep
// never reaches the next one.
constexpr double kMaxLatencySeconds = 1.0;
// Where no sweep has come back (the microphone hears nothing), how long
// after a sweep the sequence waits for it: past a sound server's latency of
// up to 0.4 s.
constexpr double kComeBackSeconds = 0.5;
// Once a sweep has come back at the microphone: how long the sequence goes
// on before it mutes what the sweep played, and the last one records on
// (the highest octaves' decay, which the sweep's end leaves for after it).
// The latency is the first output's as the microphone heard it, the air
// from its loudspeaker included: what any output plays has left the unit
// by then, but for a delay on the unit longer than the first output's
// (12.5 ms at most) and its filters ringing at the sweep's top (a few
// milliseconds).
constexpr double kAfterComeBackSeconds = 0.03;
// How often, while it waits for a sweep to come back, the sequence looks
// for it in the recording so far.
constexpr auto kSearchEvery = 100ms;
// How often an output's sweep is played at the most: a spoiled one twice again.
constexpr int kAttempts = 3;
// Clipping within this stretch of a sweep is a block disturbed, not the sweep too loud.
constexpr double kBriefClipSeconds = 0.02;
// The longest a stream may take to be sure of a loss it suspects.
constexpr double kUnsettledSeconds = 1.0;
// The longest tail the room's ringing sets: a hall of 2 s decay time into
// a quiet noise floor.
constexpr double kMostTailSeconds = 2.5;

MeasureError SettingsError(const std::string& message) { return {MeasureError::Kind::Settings, message}; }

std::vector<float> MakeCheckedSweep(const SweepSettings& sweep)
{
    try {
        return MakeSweep(sweep);
    } catch (const std::invalid_argument& e) {
        throw SettingsError(std::string("The sweep cannot be played: ") + e.what() + ".");
    }
}

RecordChannels RecordChannelsOf(const MeasureSettings& settings)
{
    RecordChannels channels;
    channels.microphone = settings.microphoneChannel - 1;
    if (settings.loopbackChannel) channels.loopback = *settings.loopbackChannel - 1;
    return channels;
}

double SilenceSeconds(const MeasureSettings& settings, MeasuredOutput output)
{
    return settings.silenceSeconds.value_or(NoiseSeconds(output));
}

// The outputs' places in the list in the order they play: the longest
// silence first (the Sub's, four times the tops'), so that what the stream
// recorded while it started serves it, and only the shorter ones come
// between sweeps. Otherwise as listed.
std::vector<std::size_t> PlayOrder(const MeasureSettings& settings)
{
    std::vector<std::size_t> order(settings.outputs.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&settings](std::size_t a, std::size_t b) {
        return SilenceSeconds(settings, settings.outputs[a]) > SilenceSeconds(settings, settings.outputs[b]);
    });
    return order;
}

// What each output played, from the order they played in back into the list's.
template <typename PerOutput>
std::vector<PerOutput> InListOrder(std::vector<PerOutput> inPlayOrder, const std::vector<std::size_t>& order)
{
    std::vector<PerOutput> listed(inPlayOrder.size());
    for (std::size_t k = 0; k < order.size(); ++k) listed[order[k]] = std::move(inPlayOrder[k]);
    return listed;
}

// The time the longest output takes as planned: silence, sweep, tail.
double PlannedSeconds(const MeasureSettings& settings)
{
    double silence = 0.0;
    for (MeasuredOutput output : settings.outputs) silence = std::max(silence, SilenceSeconds(settings, output));
    return silence + settings.sweep.seconds + settings.tailSeconds;
}

// The room set aside for the recording: every sweep played three times,
// each with the longest tail a room may ask for.
double MostSeconds(const MeasureSettings& settings)
{
    const double output = PlannedSeconds(settings) + kMostTailSeconds + kMuteAllowanceSeconds;
    return kStartAllowanceSeconds + kComeBackSeconds + output * kAttempts * static_cast<double>(settings.outputs.size());
}

std::size_t Frames(double seconds, double rate) { return static_cast<std::size_t>(seconds * rate); }

// What spoiled one sweep: it is played again. Its figures stay with the
// sweep (PlayedSweep's dropouts and slipMs).
struct Spoiled {
    std::string why;  // "a dropout", "a clipped block", "the stream slipped 5.333 ms"
};

// "played again once after a dropout", "played again twice: after a
// dropout, then after clipping"; empty for none.
std::string PlayedAgainText(const std::vector<Spoiled>& replays)
{
    if (replays.empty()) return {};
    if (replays.size() == 1) return "played again once after " + replays.front().why;
    std::string text = "played again " + std::to_string(replays.size()) + " times: after " + replays.front().why;
    if (replays.size() == 2) text = "played again twice: after " + replays.front().why;
    for (std::size_t i = 1; i < replays.size(); ++i) text += ", then after " + replays[i].why;
    return text;
}

// Plays the outputs one after another and keeps what each played where. A
// sweep that lost sound, clipped or came at another place than the run's
// (where a loopback shows it) is played again, the mutes as they were for
// it, up to kAttempts times in all.
class SequenceRun {
public:
    SequenceRun(const MeasureSettings& settings, const SweepSettings& sweep, const MeasureCallbacks& callbacks,
                const std::atomic<bool>& cancel, DuplexStream& stream, SequencePlayer& player, MuteKeeper* mutes)
        : settings_(settings),
          sweep_(sweep),
          inverse_(MakeInverseFilter(sweep)),
          callbacks_(callbacks),
          cancel_(cancel),
          stream_(stream),
          player_(player),
          mutes_(mutes),
          roomTail_(settings.roomTailSeconds)
    {
    }

    std::vector<PlayedSweep> PlayAll()
    {
        const std::size_t outputs = settings_.outputs.size();
        for (std::size_t output = 0; output < outputs; ++output) {
            replays_.emplace_back();
            PlayOutput(output, output + 1 == outputs);
        }
        PlayAgainBeforeASlip();
        return played_;
    }

    // Per output: why each sweep was played again.
    const std::vector<std::vector<Spoiled>>& Replays() const { return replays_; }
    // How long the room rang on after a sweep, once a sweep has shown it.
    std::optional<double> RoomTail() const { return roomTail_; }

private:
    // Plays `output` until a sweep is kept (the last attempt's with its
    // faults) and keeps it in the output's place; `last`: no other output
    // is to be played after it.
    void PlayOutput(std::size_t output, bool last)
    {
        index_ = output;
        std::vector<Spoiled>& replays = replays_[output];
        for (;;) {
            PlaySweep(last);
            std::optional<Spoiled> spoiled = Judge(played_.back());
            if (!spoiled || static_cast<int>(replays.size()) + 1 == kAttempts) break;  // its faults go to its verdict
            replays.push_back(std::move(*spoiled));
            played_.pop_back();
            unheard_ = std::min(unheard_, played_.size());
        }
        if (output + 1 < played_.size()) {  // played again after the others
            played_[output] = played_.back();
            played_.pop_back();
        }
        lastKept_ = output;
        keptAtSlips_.resize(std::max(keptAtSlips_.size(), output + 1));
        keptAtSlips_[output] = stream_.Slips();
    }

    // A slip the stream made good is known to a frame or so, one it could
    // not is not known at all (SoundSystem.h): sweeps kept on either side of
    // one are not on one time base. Those kept
    // before the last slip are played again after it, as far as their
    // attempts allow; one that has none left is said to have lost sound.
    void PlayAgainBeforeASlip()
    {
        for (;;) {
            const std::size_t slips = stream_.Slips();
            std::vector<std::size_t> before;
            for (std::size_t output = 0; output < keptAtSlips_.size(); ++output) {
                if (keptAtSlips_[output] == slips) continue;
                if (static_cast<int>(replays_[output].size()) + 1 < kAttempts) {
                    before.push_back(output);
                } else {
                    ++played_[output].dropouts;
                    keptAtSlips_[output] = slips;
                }
            }
            if (before.empty()) return;
            for (std::size_t k = 0; k < before.size(); ++k) {
                replays_[before[k]].push_back({"a later slip of the stream"});
                PlayOutput(before[k], k + 1 == before.size());
            }
        }
    }

    void PlaySweep(bool last)
    {
        const MeasuredOutput output = settings_.outputs[index_];
        const OutputRouting routing = RoutingOf(output);
        // The silence runs on from the last tail, while the mutes are set,
        // in frames played.
        const std::size_t silenceStart = played_.empty() && !tailEnd_ ? FirstSilenceStart() : tailEnd_;
        const double silence = SilenceSeconds(settings_, output);
        SetMutes(index_);  // only what changes is sent
        Report(MeasurePhase::Silence, 0);
        player_.Play(routing, silenceStart + Frames(silence, settings_.sweep.rate));
        Wait([this] { return player_.SweepStart().has_value(); }, false);
        Report(MeasurePhase::Sweep, silence);
        Wait([this] { return player_.SweepEnded(); }, true);
        const std::size_t sweepStart = *player_.SweepStart();
        // The sound of any sweep played after a kept one bounds its search.
        if (lastKept_ && !played_[*lastKept_].nextPlayOffset) played_[*lastKept_].nextPlayOffset = sweepStart;

        const OutputAnalysisShape shape = AnalysisShapeOf(output);
        PlayedSweep sweep;
        sweep.playOffset = sweepStart;
        sweep.silenceOffset = silenceStart;
        sweep.silenceLength = sweepStart - silenceStart;
        sweep.band = shape.band;
        sweep.window = shape.window;
        sweep.arrivalLowPassHz = shape.arrivalLowPassHz;
        played_.push_back(sweep);

        Report(MeasurePhase::Tail, silence + settings_.sweep.seconds);
        tailEnd_ = sweepStart + SweepFrames() + Frames(roomTail_.value_or(settings_.tailSeconds), settings_.sweep.rate);
        WaitForFrame(tailEnd_);
        // Its whole sound recorded before it is judged, and before the next
        // output's mutes are set: a mute would cut what it played short, an
        // unmute let another output play its last octaves; the last one
        // records on for the highest octaves' decay.
        WaitUntilCameBack(sweep, last ? std::max(kAfterComeBackSeconds, settings_.tailSeconds) : kAfterComeBackSeconds);
        WaitUntilSettled();
        if (!roomTail_ && !roomLooked_ && SoundsAtTheSweepsEnd(output)) FollowTheRoom(sweep);
        if (const std::optional<std::string> gone = stream_.GoneDevice())
            throw MeasureError(MeasureError::Kind::Audio, "The sound device \"" + *gone + "\" went away during the " +
                                                              OutputName(output) + " sweep: the measurement stopped.");
    }

    std::size_t SweepFrames() const { return Frames(settings_.sweep.seconds, settings_.sweep.rate); }

    // The stream played silence while it started, and recorded it: as much
    // of it as the recording holds is the first sweep's silence, which need
    // not be played again after the start.
    std::size_t FirstSilenceStart() const
    {
        const std::size_t played = player_.Played();
        const double silence = SilenceSeconds(settings_, settings_.outputs[index_]);
        return played - std::min({played, player_.Frames(), Frames(silence, settings_.sweep.rate)});
    }

    // Before a sweep is judged: a loss the stream is not yet sure of would
    // come too late for it.
    void WaitUntilSettled()
    {
        const std::size_t giveUp = player_.Frames() + Frames(kUnsettledSeconds, settings_.sweep.rate);
        Wait([this, giveUp] { return stream_.Settled() || player_.Frames() >= giveUp; }, false);
    }

    // Once, after the first sweep that sounds at its end (unless an earlier
    // sequence in the room has followed it already): the tail of every sweep from then on is
    // as long as the room rings on, from where this sweep's end came back
    // until it has died 10 dB below the noise of the silence before it
    // (within kMostTailSeconds): the next output's silence then holds the
    // room's noise, not the last one's reverberation.
    void FollowTheRoom(const PlayedSweep& sweep)
    {
        roomLooked_ = true;
        if (!latency_) return;  // nothing came back to follow
        const std::size_t ended = sweep.playOffset + SweepFrames() + *latency_;
        // Its last octaves, the last it played.
        const double topHz = settings_.sweep.endHz / 4;
        const std::span<const float> silence = player_.Microphone().subspan(
            std::min(player_.Frames(), sweep.silenceOffset + *latency_), sweep.silenceLength);
        const double noise = RmsAbove(silence, settings_.sweep.rate, topHz);
        Decay decay;
        Clock::time_point looked;
        Wait(
            [&] {
                if (Clock::now() - looked < kSearchEvery) return false;
                looked = Clock::now();
                const std::span<const float> recorded = player_.Microphone();
                if (recorded.size() <= ended) return false;
                const double seconds = static_cast<double>(recorded.size() - ended) / settings_.sweep.rate;
                decay = DecayIntoNoiseAbove(recorded.subspan(ended), noise, settings_.sweep.rate, topHz,
                                            settings_.tailSeconds, kMostTailSeconds);
                return decay.seconds + kDecayHoldSeconds <= seconds || seconds >= kMostTailSeconds;
            },
            false);
        roomTail_ = std::min(kMostTailSeconds, decay.seconds + decay.rt60Seconds / 6);
        tailEnd_ = std::max(tailEnd_, sweep.playOffset + SweepFrames() + Frames(*roomTail_, settings_.sweep.rate));
    }

    // What spoils the sweep just played, once all of it is recorded.
    std::optional<Spoiled> Judge(PlayedSweep& sweep)
    {
        sweep.dropouts = LossesDuring(sweep);
        if (sweep.dropouts > 0) return Spoiled{"a dropout"};
        sweep.slipMs = SlipOf(sweep);
        if (sweep.slipMs) return Spoiled{"the stream slipped " + Milliseconds(*sweep.slipMs)};
        if (ClippedOnlyBriefly(RecordedSweep(sweep))) return Spoiled{"a clipped block"};
        return std::nullopt;
    }

    // The losses that reach into what the sweep played, or into where its
    // sound is recorded (from the run's latency on, or anywhere it could
    // come back while that is not known).
    int LossesDuring(const PlayedSweep& sweep) const
    {
        const auto played = static_cast<std::int64_t>(sweep.playOffset);
        const auto sweepEnd = played + static_cast<std::int64_t>(SweepFrames());
        const auto latency = static_cast<std::int64_t>(latency_.value_or(0));
        const auto heardEnd = sweepEnd + static_cast<std::int64_t>(
                                             latency_ ? *latency_ + Frames(settings_.tailSeconds, settings_.sweep.rate)
                                                      : Frames(kMaxLatencySeconds, settings_.sweep.rate));
        int count = 0;
        for (const StreamLoss& loss : stream_.Losses()) {
            const bool playing = loss.kind == StreamLoss::Kind::Underrun;
            const std::int64_t from = playing ? played : played + latency;
            const std::int64_t to = playing ? sweepEnd : heardEnd;
            if (loss.frame < to && loss.frame + loss.frames > from) ++count;
        }
        return count;
    }

    // A knock at the microphone, not a level too high for it: played again,
    // the sweep will not clip there. One that clips all along is judged as it is.
    bool ClippedOnlyBriefly(std::span<const float> recorded) const
    {
        const auto threshold = static_cast<float>(std::pow(10.0, kClipDbfs / 20.0));
        const auto clipped = [threshold](float sample) { return std::abs(sample) >= threshold; };
        const auto first = std::find_if(recorded.begin(), recorded.end(), clipped);
        if (first == recorded.end()) return false;
        const auto last = std::find_if(recorded.rbegin(), recorded.rend(), clipped).base();
        return last - first <= static_cast<std::ptrdiff_t>(Frames(kBriefClipSeconds, settings_.sweep.rate));
    }

    std::span<const float> RecordedSweep(const PlayedSweep& sweep) const
    {
        const std::span<const float> recorded = player_.Microphone();
        const std::size_t from = std::min(recorded.size(), sweep.playOffset + latency_.value_or(0));
        return recorded.subspan(from, std::min(recorded.size() - from, SweepFrames()));
    }

    // With a loopback, how far the sweep came from the run's place there (in
    // ms), where it is more than a sample; the first sweep found sets it.
    std::optional<double> SlipOf(const PlayedSweep& sweep)
    {
        if (!settings_.loopbackChannel) return std::nullopt;
        PlayedSweep atLoopback;  // the sweep as sent, the whole band
        atLoopback.playOffset = sweep.playOffset;
        const std::optional<std::size_t> found = FindLatencySoFar(player_.Loopback(), sweep_, inverse_, atLoopback,
                                                                  Frames(kMaxLatencySeconds, settings_.sweep.rate));
        if (!found) return std::nullopt;  // judged by the analysis: no signal there
        if (!loopbackLatency_) loopbackLatency_ = *found;
        const double slip = static_cast<double>(*found) - static_cast<double>(*loopbackLatency_);
        if (std::abs(slip) <= 1.0) return std::nullopt;
        return 1000.0 * slip / settings_.sweep.rate;
    }

    static std::string Milliseconds(double ms)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f ms", ms);
        return text;
    }

    // Until the sound of `sweep` has come back at the microphone and
    // `afterSeconds` more are recorded; where no sweep is found, until
    // kComeBackSeconds after the tail.
    void WaitUntilCameBack(const PlayedSweep& sweep, double afterSeconds)
    {
        const std::size_t sweepEnd = sweep.playOffset + SweepFrames();
        const std::size_t giveUp = sweepEnd + Frames(settings_.tailSeconds + kComeBackSeconds, settings_.sweep.rate);
        Clock::time_point searched;
        Wait(
            [&] {
                if (!latency_ && Clock::now() - searched >= kSearchEvery) {
                    searched = Clock::now();
                    FindLatency();
                }
                const std::size_t until =
                    latency_ ? sweepEnd + *latency_ + Frames(afterSeconds, settings_.sweep.rate) : giveUp;
                return player_.Frames() >= until;
            },
            false);
    }

    // The recording's latency, from the first sweep played that is found in
    // it so far: one stream plays them all, so it holds for every sweep.
    void FindLatency()
    {
        const std::span<const float> recorded = player_.Microphone();
        for (std::size_t i = unheard_; i < played_.size(); ++i) {
            const std::size_t maxLatency = SearchReach(played_, i, Frames(kMaxLatencySeconds, settings_.sweep.rate));
            latency_ = FindLatencySoFar(recorded, sweep_, inverse_, played_[i], maxLatency);
            if (latency_) return;
            // Recorded past the latest it could have come back: it never will,
            // and is not searched again.
            if (i == unheard_ && recorded.size() >= played_[i].playOffset + SweepFrames() + maxLatency) ++unheard_;
        }
    }

    void SetMutes(std::size_t index)
    {
        const MeasuredOutput output = settings_.outputs[index];
        Report(MeasurePhase::Muting, 0, index);
        if (mutes_ && !mutes_->Set(RoutingOf(output).mutes))
            throw MeasureError(MeasureError::Kind::Unit, std::string("The unit did not acknowledge the mutes for ") +
                                                             OutputName(output) + ": the measurement stopped.");
    }

    void WaitForFrame(std::size_t frame)
    {
        Wait([this, frame] { return player_.Frames() >= frame; }, false);
    }

    // Polls until `done`; ends the sequence on a cancel, a failed or stalled
    // stream and a recording that has run out of room.
    template <typename Done>
    void Wait(Done done, bool sweepPlaying)
    {
        std::size_t frames = player_.Frames();
        Clock::time_point moved = Clock::now();
        Clock::time_point levelTold = moved;
        while (!done()) {
            CheckStream();
            const Clock::time_point now = Clock::now();
            if (player_.Frames() != frames) {
                frames = player_.Frames();
                moved = now;
            } else if (now - moved > kStalled) {
                throw MeasureError(MeasureError::Kind::Audio, stream_.StalledText());
            }
            if (sweepPlaying && callbacks_.inputLevel && now - levelTold >= kLevelEvery) {
                callbacks_.inputLevel(player_.TakePeakDbfs());
                levelTold = now;
            }
            std::this_thread::sleep_for(kPoll);
        }
    }

    void CheckStream()
    {
        if (cancel_) throw MeasureError(MeasureError::Kind::Cancelled, "The measurement was cancelled.");
        if (const std::optional<std::string> failure = stream_.Failure())
            throw MeasureError(MeasureError::Kind::Audio, "The sound stream failed: " + *failure);
        if (player_.Full())
            throw MeasureError(MeasureError::Kind::Audio,
                               "The sequence ran far over its time (the unit's mutes took too long): it stopped.");
    }

    void Report(MeasurePhase phase, double secondsIntoOutput) { Report(phase, secondsIntoOutput, index_); }
    void Report(MeasurePhase phase, double secondsIntoOutput, std::size_t index)
    {
        if (!callbacks_.progress) return;
        const double fraction = (static_cast<double>(index) + secondsIntoOutput / PlannedSeconds(settings_)) /
                                static_cast<double>(settings_.outputs.size());
        callbacks_.progress({phase, settings_.outputs[index], fraction});
    }

    const MeasureSettings& settings_;
    const SweepSettings& sweep_;
    const std::vector<float> inverse_;
    const MeasureCallbacks& callbacks_;
    const std::atomic<bool>& cancel_;
    DuplexStream& stream_;
    SequencePlayer& player_;
    MuteKeeper* mutes_;
    std::size_t index_ = 0;
    std::vector<PlayedSweep> played_;
    std::vector<std::vector<Spoiled>> replays_;
    std::vector<std::size_t> keptAtSlips_;  // per output: the stream's slips when its sweep was kept
    std::optional<std::size_t> lastKept_;    // the output whose sweep was kept last
    std::size_t tailEnd_ = 0;  // of the last sweep, in the played stream
    std::optional<std::size_t> latency_;
    std::optional<std::size_t> loopbackLatency_;
    std::optional<double> roomTail_;  // seconds, once a sweep (or an earlier sequence) has shown how the room rings
    bool roomLooked_ = false;         // after the first sweep, whether or not it came back to show it
    std::size_t unheard_ = 0;  // the sweeps before it were not found where they could be
};

OutputResult ResultOf(MeasuredOutput output, OutputAnalysis&& analysis, const std::string& recordDevice)
{
    OutputResult result;
    result.output = output;
    result.verdict = analysis.verdict.verdict;
    result.verdictText = analysis.verdict.text;
    if (result.verdict == Verdict::NoSignal) result.verdictText += " at the microphone on \"" + recordDevice + "\"";
    result.arrivalMs = analysis.arrivalMs;
    result.peakDbfs = analysis.peakDbfs;
    for (const BandSnr& band : analysis.snr) result.snrDb = std::min(result.snrDb.value_or(band.snrDb), band.snrDb);
    result.snr = std::move(analysis.snr);
    result.response = std::move(analysis.response);
    result.impulse = std::move(analysis.impulse);
    return result;
}

MeasurementResult Analyse(const MeasureSettings& settings, const SweepSettings& sweep, const SequencePlayer& player,
                          const std::vector<PlayedSweep>& played, const std::vector<std::vector<Spoiled>>& replays,
                          const DuplexStream& stream)
{
    SequenceRecording recording;
    recording.microphone = player.Microphone();
    recording.loopback = player.Loopback();
    recording.sweep = sweep;
    recording.sweeps = played;
    recording.maxLatency = Frames(kMaxLatencySeconds, settings.sweep.rate);
    SequenceAnalysis analysis = AnalyseSequence(recording);

    MeasurementResult result;
    result.rate = static_cast<int>(settings.sweep.rate);
    result.absoluteTime = analysis.absoluteTime;
    result.playDevice = stream.PlayDevice().name;
    result.recordDevice = stream.RecordDevice().name;
    std::size_t sweeps = 0;
    for (std::size_t i = 0; i < played.size(); ++i) {
        result.outputs.push_back(ResultOf(settings.outputs[i], std::move(analysis.outputs[i]), result.recordDevice));
        result.outputs.back().dropouts = played[i].dropouts;
        result.outputs.back().playedAgain = PlayedAgainText(replays[i]);
        sweeps += 1 + replays[i].size();
    }
    result.sweepsSeconds = settings.sweep.seconds * static_cast<double>(sweeps);
    return result;
}

std::vector<UnrestoredMute> RestoreMutes(MuteKeeper* mutes, const MeasureCallbacks& callbacks)
{
    if (!mutes) return {};
    if (callbacks.progress) callbacks.progress({MeasurePhase::Restoring, std::nullopt, 1.0});
    return mutes->Restore();
}

// Ends the sequence with its error, once the mutes are put back (or said not to be).
[[noreturn]] void FailRestoring(MeasureError::Kind kind, const std::string& message, MuteKeeper* mutes,
                               const MeasureCallbacks& callbacks)
{
    const std::vector<UnrestoredMute> unrestored = RestoreMutes(mutes, callbacks);
    const std::string warning = unrestored.empty() ? "" : "\n" + UnrestoredWarning(unrestored);
    throw MeasureError(kind, message + warning, unrestored);
}

}  // namespace

void CheckMeasurable(const MeasureSettings& settings)
{
    try {
        CheckMeasureSettings(settings);
    } catch (const SettingError& e) {
        throw SettingsError(e.what());
    }
    if ((settings.silenceSeconds && *settings.silenceSeconds <= 0) || settings.tailSeconds <= 0)
        throw SettingsError("The silence before and after each sweep must be above 0 s.");
}

MeasureError::MeasureError(Kind kind, const std::string& message, std::vector<UnrestoredMute> unrestored)
    : std::runtime_error(message), kind_(kind), unrestored_(std::move(unrestored))
{
}

std::string VerdictWithReplays(const OutputResult& output)
{
    return output.playedAgain.empty() ? output.verdictText : output.verdictText + " (" + output.playedAgain + ")";
}

bool MeasurementResult::AllOk() const
{
    return unrestored.empty() && std::all_of(outputs.begin(), outputs.end(),
                                             [](const OutputResult& output) { return output.verdict == Verdict::Ok; });
}

const char* PhaseName(MeasurePhase phase)
{
    switch (phase) {
        case MeasurePhase::Starting:
            return "starting";
        case MeasurePhase::Muting:
            return "setting the mutes";
        case MeasurePhase::Silence:
            return "silence";
        case MeasurePhase::Sweep:
            return "sweep";
        case MeasurePhase::Tail:
            return "tail";
        case MeasurePhase::Restoring:
            return "putting the mutes back";
        case MeasurePhase::Analysing:
            return "analysing";
    }
    return "";
}

std::string UnrestoredWarning(const std::vector<UnrestoredMute>& mutes)
{
    if (mutes.empty()) return {};
    return "WARNING: the unit's mutes could not be restored: " + DescribeUnrestored(mutes) +
           ". Set them on the unit by hand.";
}

MeasurementResult Measure(const MeasureSettings& settings, UnitMutes* unit, const MeasureCallbacks& callbacks,
                          const std::atomic<bool>& cancel, const SoundSystem* system)
{
    CheckMeasurable(settings);
    const SweepSettings& sweep = settings.sweep;
    SequencePlayer player(MakeCheckedSweep(sweep), RecordChannelsOf(settings), Frames(MostSeconds(settings), sweep.rate));
    if (callbacks.progress) callbacks.progress({MeasurePhase::Starting, std::nullopt, 0.0});

    std::optional<DuplexStream> stream;
    DuplexSettings duplex;
    duplex.playDevice = settings.playDevice;
    duplex.recordDevice = settings.recordDevice;
    duplex.rate = static_cast<int>(settings.sweep.rate);
    try {
        stream.emplace(duplex,
                       DuplexHandler{[&player](std::span<float> play) { player.OnPlay(play); },
                                     [&player](std::span<const float> record) { player.OnRecord(record); }},
                       system ? *system : MachineSoundSystem());
        player.SetRecordedChannels(stream->RecordChannels());
        stream->RequireRecordChannel(settings.microphoneChannel, "microphone");
        if (settings.loopbackChannel) stream->RequireRecordChannel(*settings.loopbackChannel, "loopback");
    } catch (const AudioError& e) {
        throw MeasureError(MeasureError::Kind::Audio, e.what());
    }

    std::optional<MuteKeeper> mutes;
    if (unit) mutes.emplace(*unit);
    MuteKeeper* keeper = mutes ? &*mutes : nullptr;
    const std::vector<std::size_t> order = PlayOrder(settings);
    MeasureSettings inPlayOrder = settings;
    for (std::size_t k = 0; k < order.size(); ++k) inPlayOrder.outputs[k] = settings.outputs[order[k]];
    const Clock::time_point started = Clock::now();
    std::vector<PlayedSweep> played;
    std::vector<std::vector<Spoiled>> replays;
    std::optional<double> roomTail;
    try {
        stream->Start();
        SequenceRun run(inPlayOrder, sweep, callbacks, cancel, *stream, player, keeper);
        played = InListOrder(run.PlayAll(), order);
        replays = InListOrder(run.Replays(), order);
        roomTail = run.RoomTail();
        stream->Stop();
    } catch (const MeasureError& e) {
        stream.reset();
        FailRestoring(e.kind(), e.what(), keeper, callbacks);
    } catch (const AudioError& e) {
        stream.reset();
        FailRestoring(MeasureError::Kind::Audio, e.what(), keeper, callbacks);
    } catch (...) {
        stream.reset();
        RestoreMutes(keeper, callbacks);
        throw;
    }
    const std::vector<UnrestoredMute> unrestored = RestoreMutes(keeper, callbacks);
    const double sequenceSeconds = std::chrono::duration<double>(Clock::now() - started).count();

    if (callbacks.progress) callbacks.progress({MeasurePhase::Analysing, std::nullopt, 1.0});
    MeasurementResult result = Analyse(settings, sweep, player, played, replays, *stream);
    result.sequenceSeconds = sequenceSeconds;
    result.roomTailSeconds = roomTail;
    result.unrestored = unrestored;
    return result;
}
