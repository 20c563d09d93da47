#include "WatchDesk.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include <boost/asio/post.hpp>

#include "ApiFields.h"
#include "BodyFields.h"
#include "PushChannel.h"
#include "RemoteUnit.h"
#include "WatchJson.h"
#include "history/SettingChanges.h"
#include "model/Scales.h"
#include "tuning/TuningText.h"

namespace {

using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

// A look (and a push) this often: more than five a second, with room for a
// busy machine's late wake-ups.
constexpr auto kLookEvery = std::chrono::milliseconds(160);

const char* KeyOf(WatchField field)
{
    switch (field) {
        case WatchField::MicrophoneChannel:
            return "micChannel";
        case WatchField::ReferenceChannel:
            return "referenceChannel";
        case WatchField::Rate:
            return "rate";
        case WatchField::Average:
            break;
    }
    return "averageS";
}

// The watch's settings from the body's fields (none: the defaults, as the
// command line's); a value of the wrong kind or out of its range is a 400
// naming its field.
WatchSettings SettingsOf(const json& body)
{
    WatchSettings settings;
    settings.microphoneChannel = IntegerField(body, "micChannel", settings.microphoneChannel);
    settings.referenceChannel = IntegerField(body, "referenceChannel", settings.referenceChannel);
    settings.rate = IntegerField(body, "rate", settings.rate);
    settings.averageSeconds = NumberField(body, "averageS", settings.averageSeconds);
    settings.recordDevice = TextField(body, "record");
    if (const auto fault = FaultOf(settings))
        throw RequestError(400, "\"" + std::string(KeyOf(fault->field)) + "\": " + fault->text);
    return settings;
}

// The trace given as "against" (a measurement's text); nothing without one.
std::optional<LevelCurve> AgainstOf(const json& body)
{
    if (!body.contains("against")) return std::nullopt;
    try {
        return ParseLevelCurve(TextField(body, "against"));
    } catch (const TuningFileError& error) {
        throw RequestError(400, std::string("The trace to compare with: ") + error.what());
    }
}

json SettingsJson(const WatchSettings& settings)
{
    return {{"micChannel", settings.microphoneChannel},
            {"referenceChannel", settings.referenceChannel},
            {"rate", settings.rate},
            {"averageS", settings.averageSeconds},
            {"record", settings.recordDevice}};
}

// The ranges and defaults the page's controls take, from the settings' own home.
json LimitsJson()
{
    const WatchSettings defaults;
    return {{"micChannel", {{"min", 1}, {"value", defaults.microphoneChannel}}},
            {"referenceChannel", {{"min", 1}, {"value", defaults.referenceChannel}}},
            {"rate", {{"min", kLeastWatchRate}, {"max", kMostWatchRate}, {"value", defaults.rate}}},
            {"averageS", {{"min", kLeastAverageSeconds}, {"max", kMostAverageSeconds}, {"value", defaults.averageSeconds}}}};
}

// A proposal as the page shows it: its words, its bands (the unit's steps
// and as text), and the fit's curves at the unit's steps over its range:
// the live curve smoothed, as it would be with the bands, and the aim.
json ProposalJson(const LiveProposal& proposal)
{
    const FitResult& fit = proposal.fit;
    json hz = json::array(), bands = json::array();
    for (int k = fit.firstStep; k <= fit.lastStep; ++k) hz.push_back(std::round(FreqTable[k] * 10.0) / 10.0);
    for (const PeqBand& band : fit.bands)
        bands.push_back({{"flat", band.flat}, {"freq", band.freq}, {"gain", band.gain}, {"bandwidth", band.bandwidth},
                         {"shelf", band.shelf == Shelf::Low ? "low" : band.shelf == Shelf::High ? "high" : "none"},
                         {"text", PeqBandText(band)}});
    const auto rounded = [](const std::vector<double>& db) {
        json list = json::array();
        for (double v : db) list.push_back(std::round(v * 10.0) / 10.0);
        return list;
    };
    return {{"output", ChannelName(proposal.slot)},
            {"label", LiveProposalLabel(proposal.slot)},
            {"towardStored", proposal.towardStored},
            {"bands", bands},
            {"rmsNowDb", std::round(proposal.rmsNowDb * 100.0) / 100.0},
            {"rmsPredictedDb", std::round(fit.rmsAfterDb * 100.0) / 100.0},
            {"text", LiveProposalWords(proposal)},
            {"hz", hz},
            {"measured", rounded(fit.measured)},
            {"predicted", rounded(fit.predicted)},
            {"target", rounded(fit.target)}};
}

json EditJson(const WatchEdit& edit) { return {{"t", std::round(edit.seconds * 1000.0) / 1000.0}, {"what", edit.what}}; }

// What changed the setting since `before`, in the history's words: a step
// more, or the newest one grown by its gesture ("Left & Right PEQ 1 Gain
// +6.0 dB"), an undo or a redo of one; nothing for what changed no setting
// (a side kept for A/B, the history started afresh).
std::optional<std::string> EditOf(const WatchDesk::HistoryGlance& before, const WatchDesk::HistoryGlance& now)
{
    if (now.undo + 1 == before.undo && now.redo == before.redo + 1) return "Undo " + now.next;
    // A redo makes the step a redo offered the newest; a new step after an undo drops those instead.
    if (now.undo == before.undo + 1 && now.redo + 1 == before.redo && now.newest == before.next)
        return "Redo " + now.newest;
    const bool stepped = now.undo == before.undo + 1 || (now.undo == before.undo && now.newest != before.newest);
    if (now.redo == 0 && now.undo > 0 && stepped) return now.newest;
    return std::nullopt;
}

}  // namespace

std::unique_ptr<SoundCardDesk> MakeSoundCardDesk(boost::asio::any_io_executor io, PushHub& hub)
{
    return std::make_unique<WatchDesk>(std::move(io), hub);
}

WatchDesk::WatchDesk(boost::asio::any_io_executor io, PushHub& hub)
    : io_(io), hub_(hub), measuring_(std::move(io), hub, claim_)
{
}

WatchDesk::~WatchDesk()
{
    stop_ = true;
    thread_.join();
    fitThread_.join();
}

bool WatchDesk::Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
                      const Respond& respond)
{
    if (path.empty() || path[0] != "watch") return measuring_.Route(unit, request, path, respond);
    if (path.size() == 1 && request.method == "GET") {
        respond(JsonResponse(State()));
        return true;
    }
    RequireMethod(request, "POST");
    if (path.size() == 1) Start(request, respond);
    else if (path.size() == 2 && path[1] == "stop") End(respond);
    else if (path.size() == 2 && path[1] == "keep") Keep(request, respond);
    else if (path.size() == 2 && path[1] == "propose") Propose(unit, request, respond);
    else if (path.size() == 2 && path[1] == "apply") ApplyProposal(unit, respond);
    else throw RequestError(404, "Nothing here: " + request.path);
    return true;
}

void WatchDesk::Stop(std::function<void()> done)
{
    if (!running_) return measuring_.Stop(std::move(done));
    stop_ = true;
    stopped_.push_back([this, done = std::move(done)] { measuring_.Stop(done); });
}

void WatchDesk::HistoryChanged(const RemoteUnit& unit, const std::string& name)
{
    const SettingHistory& history = unit.History();
    const HistoryGlance now{history.UndoCount(), history.RedoCount(), history.ToUndo() ? history.ToUndo()->label : "",
                            history.ToRedo() ? history.ToRedo()->label : ""};
    HistoryGlance& before = glances_[unit.Identity()];
    const std::optional<std::string> edit = EditOf(before, now);
    before = now;
    if (!edit || !watch_) return;
    const WatchEdit mark = watch_->MarkEdit(unitsServed_ > 1 ? name + ": " + *edit : *edit);
    edits_.push_back(mark);
    json message{{"type", "watchEdit"}, {"unit", name}};
    message.update(EditJson(mark));
    hub_.Broadcast(message.dump());
}

void WatchDesk::Start(const ApiRequest& request, const Respond& respond)
{
    const json body = BodyOf(request, {"micChannel", "referenceChannel", "rate", "averageS", "record", "against"},
                             "A watch");
    const WatchSettings settings = SettingsOf(body);
    std::optional<LevelCurve> stored = AgainstOf(body);
    claim_.RequireFree();
    claim_.Take("The live watch");
    running_ = true;
    settings_ = settings;
    stop_ = false;
    last_.reset();
    edits_.clear();
    stored_ = stored;
    error_.clear();
    {
        const std::lock_guard lock(storedMutex_);
        nextStored_.reset();
    }
    boost::asio::post(thread_, [this, settings, stored, respond] {
        std::shared_ptr<LiveWatch> watch;
        try {
            watch = std::make_shared<LiveWatch>(settings);
            watch->SetStored(stored);
            watch->Start();
        } catch (const std::exception& error) {
            boost::asio::post(io_, [this, respond, text = std::string(error.what())] {
                Ended(text);
                respond(ErrorResponse(500, text));
            });
            return;
        }
        boost::asio::post(io_, [this, watch, respond] {
            watch_ = watch;
            Announce();
            respond(JsonResponse(State()));
        });
        Watch(watch);
    });
}

void WatchDesk::Watch(const std::shared_ptr<LiveWatch>& watch)
{
    std::string error;
    for (Clock::time_point next = Clock::now(); !stop_;) {
        next = std::max(next + kLookEvery, Clock::now());
        std::this_thread::sleep_until(next);
        {
            const std::lock_guard lock(storedMutex_);
            if (nextStored_) watch->SetStored(*std::exchange(nextStored_, std::nullopt));
        }
        try {
            boost::asio::post(io_, [this, look = watch->Look()]() mutable { TakeLook(std::move(look)); });
        } catch (const AudioError& failure) {
            error = failure.what();
            break;
        }
    }
    boost::asio::post(io_, [this, error] { Ended(error); });
}

void WatchDesk::TakeLook(WatchLook look)
{
    if (!watch_ || stop_) return;
    json message{{"type", "watch"}};
    message.update(WatchLookJson(look, WatchJsonDetail::Screen));
    message["status"] = WatchStatus(look.seconds, look.delaySeconds, look.coherentShare);
    last_ = std::move(look);
    hub_.Broadcast(message.dump());
}

void WatchDesk::Ended(const std::string& error)
{
    running_ = false;
    watch_.reset();
    proposals_.clear();  // made on a curve that is gone: applied now it would not be marked
    error_ = error;
    claim_.Release();
    Announce();
    for (const auto& done : std::exchange(stopped_, {})) done();
}

void WatchDesk::End(const Respond& respond)
{
    if (!running_) throw RequestError(409, "The live watch is not running.");
    stop_ = true;
    stopped_.push_back([this, respond] { respond(JsonResponse(State())); });
}

void WatchDesk::Keep(const ApiRequest& request, const Respond& respond)
{
    const json body = BodyOf(request, {"against"}, "Keeping a trace");
    std::optional<LevelCurve> stored = AgainstOf(body);
    if (!watch_) throw RequestError(409, "The live watch is not running.");
    if (!stored) {
        const std::string text = last_ ? LiveTraceText(*last_) : std::string();
        if (text.empty()) throw RequestError(409, "There is no live trace to keep yet: none of its points is coherent.");
        stored = ParseLevelCurve(text);
    }
    {
        const std::lock_guard lock(storedMutex_);
        nextStored_ = stored;
    }
    stored_ = std::move(stored);
    Announce();
    respond(JsonResponse(State()));
}

void WatchDesk::Propose(const DeskUnit& unit, const ApiRequest& request, const Respond& respond)
{
    const json body = BodyOf(request, {"output"}, "A proposal");
    const int slot = ChannelSlot(TextField(body, "output"));
    if (!watch_) throw RequestError(409, "The live watch is not running.");
    if (!last_) throw RequestError(409, "The live watch has no curve yet.");
    boost::asio::post(fitThread_, [this, trace = last_->trace, stored = stored_, setting = unit.unit.Expected(), slot,
                                   identity = unit.unit.Identity(), respond] {
        LiveProposalOutcome outcome;
        bool failed = false;
        try {
            outcome = ProposeFromLive(trace, stored, setting, slot);
        } catch (const std::exception& error) {
            outcome.refused = std::string("The fit failed: ") + error.what();
            failed = true;
        }
        boost::asio::post(io_, [this, outcome = std::move(outcome), failed, identity, respond]() mutable {
            if (!watch_) return respond(ErrorResponse(409, "The live watch ended before the proposal was made."));
            if (!outcome.proposal) {
                proposals_.erase(identity);
                return respond(ErrorResponse(failed ? 500 : 409, outcome.refused));
            }
            const json answer = ProposalJson(*outcome.proposal);
            proposals_.insert_or_assign(identity, std::move(*outcome.proposal));
            respond(JsonResponse(answer));
        });
    });
}

void WatchDesk::ApplyProposal(const DeskUnit& unit, const Respond& respond)
{
    const auto kept = proposals_.find(unit.unit.Identity());
    if (kept == proposals_.end())
        throw RequestError(409, "There is no proposal for " + unit.name + " to apply: POST /api/watch/propose first.");
    if (!SameSetting(kept->second.from, unit.unit.Expected())) {
        proposals_.erase(kept);
        throw RequestError(409, "The setting of " + unit.name +
                                    " has changed since the proposal was made: propose again before applying.");
    }
    if (!unit.unit.Connected()) throw RequestError(503, "The unit is not connected: nothing was applied.");
    const LiveProposal proposal = std::move(kept->second);
    proposals_.erase(kept);
    const std::string label = LiveProposalLabel(proposal.slot);
    unit.unit.ChangeSetting(proposal.to, label, [respond, label](int result) {
        if (result != 0) return respond(ErrorResponse(503, "The unit did not acknowledge the change."));
        respond(JsonResponse({{"applied", label}}));
    });
}

void WatchDesk::Announce()
{
    json message{{"type", "watchState"}};
    message.update(State());
    hub_.Broadcast(message.dump());
}

WatchDesk::json WatchDesk::State() const
{
    json edits = json::array();
    for (const WatchEdit& edit : edits_) edits.push_back(EditJson(edit));
    return {{"running", running_},
            {"settings", SettingsJson(running_ ? settings_ : WatchSettings{})},
            {"limits", LimitsJson()},
            {"trustedCoherence", kTrustedCoherence},
            {"stored", stored_ && watch_ ? StoredTraceJson(*stored_, watch_->Points()) : json(nullptr)},
            {"edits", edits},
            {"error", error_.empty() ? json(nullptr) : json(error_)}};
}
