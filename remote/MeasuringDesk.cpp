#include "MeasuringDesk.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include <boost/asio/post.hpp>

#include "BodyFields.h"
#include "FitMeasurement.h"
#include "MeasurementFiles.h"
#include "PushChannel.h"
#include "RemoteTuneUnit.h"
#include "RemoteUnit.h"
#include "TuneJson.h"
#include "TuneTexts.h"
#include "history/SettingChanges.h"
#include "tuning/TuningText.h"

namespace {

using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

// The microphone's level reaches the clients at most this often.
constexpr auto kLevelInterval = std::chrono::milliseconds(50);

const char* KindName(MeasureError::Kind kind)
{
    switch (kind) {
        case MeasureError::Kind::Settings:
            return "settings";
        case MeasureError::Kind::Audio:
            return "audio";
        case MeasureError::Kind::Unit:
            return "unit";
        case MeasureError::Kind::Cancelled:
            break;
    }
    return "cancelled";
}

int StatusOf(MeasureError::Kind kind)
{
    switch (kind) {
        case MeasureError::Kind::Settings:
            return 400;
        case MeasureError::Kind::Audio:
            return 500;
        case MeasureError::Kind::Unit:
            return 503;
        case MeasureError::Kind::Cancelled:
            break;
    }
    return 409;
}

json UnrestoredJson(const std::vector<UnrestoredMute>& mutes)
{
    json list = json::array();
    for (const UnrestoredMute& mute : mutes)
        list.push_back({{"channel", mute.channel == MuteChannel::LeftRight ? "lr" : "sub"}, {"muted", mute.muted}});
    return list;
}

// The answer to a measurement that did not go through; its message says
// the mutes left unrestored as well.
json FailureJson(const MeasureError& error)
{
    return {{"outcome", "failed"},
            {"error", error.what()},
            {"kind", KindName(error.kind())},
            {"unrestored", UnrestoredJson(error.unrestored())},
            {"warning", UnrestoredWarning(error.unrestored())}};
}

json ResultJson(const MeasurementResult& result)
{
    json body{{"outcome", "measured"}};
    body.update(MeasurementResultJson(result));
    for (std::size_t i = 0; i < result.outputs.size(); ++i)
        body["outputs"][i]["verdictText"] = VerdictWithReplays(result.outputs[i]);
    body["absoluteTime"] = result.absoluteTime;
    body["allOk"] = result.AllOk();
    body["unrestored"] = UnrestoredJson(result.unrestored);
    body["warning"] = UnrestoredWarning(result.unrestored);
    return body;
}

// Several positions: the averages and every position, as measure --json
// has them, each output's verdict in words; one position as ResultJson.
json PositionsJson(const PositionsResult& result)
{
    if (result.positions.size() == 1) return ResultJson(result.positions.front());
    json body{{"outcome", "measured"}};
    body.update(PositionsResultJson(result));
    for (std::size_t i = 0; i < result.averages.size(); ++i)
        body["outputs"][i]["verdictText"] = result.averages[i].verdictText;
    body["absoluteTime"] = result.positions.front().absoluteTime;
    body["allOk"] = result.AllOk();
    body["unrestored"] = json::array();
    body["warning"] = "";
    return body;
}

// Only the outputs judged ok feed the fit.
MeasurementResult OkOutputs(MeasurementResult result)
{
    std::erase_if(result.outputs, [](const OutputResult& output) { return output.verdict != Verdict::Ok; });
    return result;
}

PositionsResult OkOutputs(PositionsResult result)
{
    for (MeasurementResult& position : result.positions) position = OkOutputs(std::move(position));
    return result;
}

std::vector<MeasuredOutput> OutputsField(const json& body, const std::vector<MeasuredOutput>& fallback)
{
    if (!body.contains("outputs")) return fallback;
    const json& given = body["outputs"];
    if (!given.is_array())
        throw RequestError(400, "\"outputs\" must be a list of " + RangeText(MeasureField::Outputs) + ".");
    std::string list;
    for (const json& name : given) {
        if (!name.is_string())
            throw RequestError(400, "\"outputs\" must be a list of " + RangeText(MeasureField::Outputs) + ".");
        list += (list.empty() ? "" : ",") + name.get<std::string>();
    }
    return OutputsOfList(list);
}

const std::vector<std::string> kSoundKeys{"levelDbfs", "loud", "micChannel", "loopbackChannel",
                                          "lengthS",   "rate", "play",       "record"};

const char* KeyOf(MeasureField field)
{
    switch (field) {
        case MeasureField::Outputs:
            return "outputs";
        case MeasureField::MicrophoneChannel:
            return "micChannel";
        case MeasureField::LoopbackChannel:
            return "loopbackChannel";
        case MeasureField::Level:
            return "levelDbfs";
        case MeasureField::Length:
            return "lengthS";
        case MeasureField::Positions:
            return "positions";
        case MeasureField::Rate:
            break;
    }
    return "rate";
}

// The measurement's settings from the body's fields (none: the defaults), as
// the command line's; a value of the wrong kind or out of its range is a 400
// naming its field.
MeasureSettings UncheckedSettingsOf(const json& body)
{
    MeasureSettings settings;
    settings.outputs = OutputsField(body, settings.outputs);
    SweepSettings& sweep = settings.sweep;
    sweep.levelDbfs = NumberField(body, "levelDbfs", sweep.levelDbfs);
    if (body.contains("loud") && !body["loud"].is_boolean()) throw RequestError(400, "\"loud\" must be true or false.");
    sweep.allowLoud = body.value("loud", false);
    settings.microphoneChannel = IntegerField(body, "micChannel", settings.microphoneChannel);
    if (body.contains("loopbackChannel") && !body["loopbackChannel"].is_null())
        settings.loopbackChannel = IntegerField(body, "loopbackChannel", 1);
    sweep.seconds = NumberField(body, "lengthS", sweep.seconds);
    sweep.rate = IntegerField(body, "rate", static_cast<int>(sweep.rate));
    settings.playDevice = TextField(body, "play");
    settings.recordDevice = TextField(body, "record");
    settings.positions = IntegerField(body, "positions", settings.positions);
    return settings;
}

RequestError RefusalOf(const SettingError& error)
{
    return RequestError(400, "\"" + std::string(KeyOf(error.field())) + "\": " + error.what());
}

MeasureSettings SettingsOf(const json& body)
{
    try {
        MeasureSettings settings = UncheckedSettingsOf(body);
        CheckMeasureSettings(settings);
        return settings;
    } catch (const SettingError& error) {
        throw RefusalOf(error);
    }
}

// The settings of quenbar-cli tune: its sound, the target, the Sub's offset and the largest rise.
TuneSettings TuneSettingsOf(const json& body)
{
    TuneSettings settings;
    settings.measure = SettingsOf(body);
    LevelOptions& levels = settings.options.levels;
    levels.subOffsetDb = NumberField(body, "subOffsetDb", levels.subOffsetDb);
    levels.maxRiseDb = NumberField(body, "maxRiseDb", levels.maxRiseDb);
    try {
        CheckTuneSettings(settings);
    } catch (const TuneSettingError& error) {
        throw RequestError(400, std::string(error.field() == TuneField::SubOffset ? "\"subOffsetDb\": " : "\"maxRiseDb\": ") +
                                    error.what());
    }
    if (body.contains("target")) {
        try {
            settings.options.fit.target = ParseLevelCurve(TextField(body, "target"));
        } catch (const TuningFileError& error) {
            throw RequestError(400, std::string("The target: ") + error.what());
        }
    }
    return settings;
}

TuneParts PartsOf(const json& body)
{
    TuneParts parts;
    if (!body.contains("parts")) return parts;
    const json& given = body["parts"];
    if (!given.is_object()) throw RequestError(400, "\"parts\" must be {\"alignment\", \"levels\", \"peqLr\", \"peqSub\"}.");
    for (const auto& [name, part] : {std::pair<const char*, bool*>{"alignment", &parts.alignment},
                                     {"levels", &parts.levels},
                                     {"peqLr", &parts.peqLr},
                                     {"peqSub", &parts.peqSub}})
        if (given.contains(name)) {
            if (!given[name].is_boolean()) throw RequestError(400, std::string("\"") + name + "\" must be true or false.");
            *part = given[name].get<bool>();
        }
    for (const auto& item : given.items())
        if (item.key() != "alignment" && item.key() != "levels" && item.key() != "peqLr" && item.key() != "peqSub")
            throw RequestError(400, "A proposal has no part \"" + item.key() + "\".");
    return parts;
}

const char* TuneKindName(TuneError::Kind kind)
{
    switch (kind) {
        case TuneError::Kind::Measure:
            return "measure";
        case TuneError::Kind::Unit:
            return "unit";
        case TuneError::Kind::SettingChanged:
            return "setting changed";
        case TuneError::Kind::Refused:
            return "refused";
        case TuneError::Kind::Cancelled:
            break;
    }
    return "cancelled";
}

int TuneStatusOf(const TuneError& error)
{
    switch (error.kind()) {
        case TuneError::Kind::Measure:
            return StatusOf(error.measureKind);
        case TuneError::Kind::Unit:
            return 503;
        case TuneError::Kind::SettingChanged:
        case TuneError::Kind::Cancelled:
            return 409;
        case TuneError::Kind::Refused:
            break;
    }
    return 422;
}

json TuneFailureJson(const TuneError& error)
{
    json changes = json::array();
    for (const FieldChange& change : error.leftChanged) changes.push_back(DescribeChanges(std::span(&change, 1)));
    return {{"outcome", "failed"},
            {"error", error.what()},
            {"kind", TuneKindName(error.kind())},
            {"unrestored", UnrestoredJson(error.unrestored)},
            {"warning", UnrestoredWarning(error.unrestored)},
            {"leftChanged", changes},
            {"passesDone", error.passesDone.size()}};
}

// The name of a part as "parts" of POST /api/tune/apply takes it.
const char* PartKey(TunePart part)
{
    switch (part) {
        case TunePart::Alignment:
            return "alignment";
        case TunePart::SubLevel:
            return "levels";
        case TunePart::PeqLeftRight:
            return "peqLr";
        case TunePart::PeqSub:
            break;
    }
    return "peqSub";
}

// The proposal's parts in words, for the page to show as they are.
json PartTextsJson(const TuneStart& start)
{
    json parts = json::array();
    for (TunePart part : kTuneParts) {
        const TunePartText text = DescribePart(start.setting, start.proposal, part);
        parts.push_back({{"part", PartKey(part)},
                         {"name", text.part},
                         {"proposal", text.proposal},
                         {"effect", text.effect},
                         {"note", text.note},
                         {"applicable", text.applicable}});
    }
    return parts;
}

json ProposalJson(const TuneStart& start)
{
    json body{{"outcome", "proposed"}};
    body.update(TuneProposalJson(start.setting, start.proposal));
    body["measured"] = PositionsJson(start.measured);
    body["measured"]["outputs"].push_back(SystemCurveJson(start.measurements));
    body["region"] = RegionSentence(start.proposal.region);
    body["texts"] = PartTextsJson(start);
    body["shortfalls"] = ProposalShortfalls(start, TuneParts{});
    body["positionSums"] = PositionSumTexts(start.proposal);
    return body;
}

json VerifiedJson(const TuneOutcome& outcome)
{
    const AppliedPass& last = outcome.passes.back();
    json after = PositionsJson(last.measured);
    after["outputs"].push_back(SystemCurveJson(last.afterPositions));
    json checks = json::array();
    for (const OutputCheckText& check : DescribeChecks(last.verification))
        checks.push_back({{"output", check.output},
                          {"rmsBefore", check.rmsBefore},
                          {"rmsAfter", check.rmsAfter},
                          {"miss", check.miss}});
    return {{"outcome", "verified"},
            {"passes", outcome.passes.size()},
            {"verify", TuneVerificationJson(last.verification, last.positions)},
            {"checksAt", ChecksPositionText(last.positions)},
            {"checks", checks},
            {"findings", VerificationFindings(last.verification, last.proposal.region)},
            {"positionFindings", SpatialVerificationTexts(last.positions)},
            {"after", after},
            {"shortfalls", outcome.shortfalls}};
}

// The channels' measurements for the fit from the outputs judged ok; the channels kept.
template <typename Result>
json KeepForFit(const std::function<void(int, LevelCurve)>& keep, const Result& result)
{
    json channels = json::array();
    const Result usable = OkOutputs(result);
    for (const auto& [slot, name] : {std::pair{kSlotLeftRight, "lr"}, {kSlotSub, "sub"}})
        if (std::optional<LevelCurve> measurement = FitMeasurementOf(usable, slot)) {
            keep(slot, std::move(*measurement));
            channels.push_back(name);
        }
    return channels;
}

// The ranges and defaults the page's controls take, from the settings' own home.
json LimitsJson()
{
    const MeasureSettings defaults;
    return {{"lengthS", {{"min", kShortestSweepSeconds}, {"max", kLongestSweepSeconds}, {"value", defaults.sweep.seconds}}},
            {"levelDbfs", {{"min", kQuietestSweepDbfs}, {"max", kSweepLoudDbfs}, {"value", defaults.sweep.levelDbfs}}},
            {"positions", {{"min", 1}, {"max", kMostPositions}, {"value", defaults.positions}}}};
}

}  // namespace

MeasuringDesk::MeasuringDesk(boost::asio::any_io_executor io, PushHub& hub, SoundCardClaim& claim)
    : io_(std::move(io)), hub_(hub), claim_(claim)
{
}

MeasuringDesk::~MeasuringDesk()
{
    cancel_ = true;
    WakeTheWait();
    thread_.join();
}

bool MeasuringDesk::Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
                          const Respond& respond)
{
    if (!path.empty() && path[0] == "tune") {
        if (path.size() > 2 || (path.size() == 2 && path[1] != "apply"))
            throw RequestError(404, "Nothing here: " + request.path);
        RequireMethod(request, "POST");
        if (path.size() == 1) Propose(unit, request, respond);
        else ApplyProposal(unit, request, respond);
        return true;
    }
    if (path.empty() || path[0] != "measure") return false;
    if (path.size() == 2 && path[1] == "cancel") {
        RequireMethod(request, "POST");
        Cancel(respond);
        return true;
    }
    if (path.size() == 2 && path[1] == "next") {
        RequireMethod(request, "POST");
        Next(request, respond);
        return true;
    }
    if (path.size() != 1) throw RequestError(404, "Nothing here: " + request.path);
    if (request.method == "GET") {
        respond(JsonResponse(State()));
        return true;
    }
    RequireMethod(request, "POST");
    Measure(unit, request, respond);
    return true;
}

void MeasuringDesk::Stop(std::function<void()> done)
{
    if (!running_) return done();
    cancel_ = true;
    WakeTheWait();
    stopped_.push_back(std::move(done));
}

void MeasuringDesk::Measure(const DeskUnit& unit, const ApiRequest& request, const Respond& respond)
{
    std::vector<std::string> keys = kSoundKeys;
    keys.insert(keys.end(), {"outputs", "positions"});
    const json body = BodyOf(request, keys, "A measurement");
    const MeasureSettings settings = SettingsOf(body);
    if (Refused(unit, respond)) return;
    auto tuneUnit = std::make_shared<RemoteTuneUnit>(unit.unit, io_);
    auto measured = std::make_shared<PositionsResult>();
    Run(
        unit, "measure",
        [settings, tuneUnit, measured](const TuneCallbacks& callbacks, const std::atomic<bool>& cancel) -> Outcome {
            try {
                *measured = MeasurePositions(settings, tuneUnit.get(), callbacks.measure, callbacks.await, cancel);
                return {200, PositionsJson(*measured)};
            } catch (const MeasureError& error) {
                return {StatusOf(error.kind()), FailureJson(error)};
            }
        },
        [keep = unit.keep, measured, respond](Outcome outcome) {
            const json channels = KeepForFit(keep, *measured);
            if (outcome.status == 200) outcome.body["kept"] = channels;
            respond(JsonResponse(outcome.body, outcome.status));
        });
}

void MeasuringDesk::Propose(const DeskUnit& unit, const ApiRequest& request, const Respond& respond)
{
    std::vector<std::string> keys = kSoundKeys;
    keys.insert(keys.end(), {"positions", "subOffsetDb", "maxRiseDb", "target"});
    const TuneSettings settings = TuneSettingsOf(BodyOf(request, keys, "A tuning pass"));
    if (Refused(unit, respond)) return;
    auto tuneUnit = std::make_shared<RemoteTuneUnit>(unit.unit, io_);
    auto start = std::make_shared<std::optional<TuneStart>>();
    Run(
        unit, "tune",
        [settings, tuneUnit, start](const TuneCallbacks& callbacks, const std::atomic<bool>& cancel) -> Outcome {
            try {
                *start = MeasureAndPropose(settings, *tuneUnit, callbacks, cancel);
                return {200, ProposalJson(**start)};
            } catch (const TuneError& error) {
                return {TuneStatusOf(error), TuneFailureJson(error)};
            }
        },
        [this, keep = unit.keep, start, respond, proposed = unit.unit.Identity()](Outcome outcome) {
            if (*start) {
                outcome.body["kept"] = KeepForFit(keep, (*start)->measured);
                proposal_ = std::make_shared<const TuneStart>(std::move(**start));
                proposalUnit_ = proposed;
            }
            respond(JsonResponse(outcome.body, outcome.status));
        });
}

void MeasuringDesk::ApplyProposal(const DeskUnit& unit, const ApiRequest& request, const Respond& respond)
{
    const TuneParts parts = PartsOf(BodyOf(request, {"parts"}, "Applying a proposal"));
    if (!proposal_ || proposalUnit_ != unit.unit.Identity())
        throw RequestError(409, "There is no proposal for " + unit.name + " to apply: POST /api/tune first.");
    if (Refused(unit, respond)) return;
    auto tuneUnit = std::make_shared<RemoteTuneUnit>(unit.unit, io_);
    // A proposal is applied once: its setting is the unit's no longer.
    const std::shared_ptr<const TuneStart> start = std::exchange(proposal_, nullptr);
    Run(
        unit, "tune",
        [start, parts, tuneUnit](const TuneCallbacks& callbacks, const std::atomic<bool>& cancel) -> Outcome {
            try {
                return {200, VerifiedJson(ApplyAndVerify(*start, parts, *tuneUnit, callbacks, cancel))};
            } catch (const TuneError& error) {
                return {TuneStatusOf(error), TuneFailureJson(error)};
            }
        },
        [this, start, &remote = unit.unit, respond](Outcome outcome) {
            // An apply that ended before changing anything (a cancel while the
            // person walks back to the first position) leaves its proposal to apply.
            if (outcome.status != 200 && SameSetting(remote.Expected(), start->setting) && !proposal_)
                proposal_ = start;
            respond(JsonResponse(outcome.body, outcome.status));
        });
}

void MeasuringDesk::Cancel(const Respond& respond)
{
    if (!running_) throw RequestError(409, "No measurement is running.");
    cancel_ = true;
    WakeTheWait();
    respond(JsonResponse({{"cancelling", running_->job}}, 202));
}

void MeasuringDesk::Next(const ApiRequest& request, const Respond& respond)
{
    const json body = BodyOf(request, {"again"}, "The next position");
    if (body.contains("again") && !body["again"].is_boolean())
        throw RequestError(400, "\"again\" must be true or false.");
    if (!running_ || !running_->awaiting) throw RequestError(409, "No measurement is waiting for a position.");
    const bool again = body.value("again", false);
    if (again && running_->progress["position"] == 0)
        throw RequestError(409, "Nothing is measured yet at the first position to measure again.");
    running_->awaiting = false;
    {
        const std::lock_guard lock(choiceMutex_);
        choice_ = again ? PositionChoice::Again : PositionChoice::Next;
    }
    choiceMade_.notify_all();
    respond(JsonResponse({{"position", again ? "again" : "next"}}, 202));
}

void MeasuringDesk::WakeTheWait()
{
    // Taken once, so that a wait between its check and its sleep is not missed.
    { const std::lock_guard lock(choiceMutex_); }
    choiceMade_.notify_all();
}

PositionChoice MeasuringDesk::AwaitPerson(const std::string& unit, const std::string& job, const PositionPause& pause)
{
    const json message{{"type", "measure"},
                       {"unit", unit},
                       {"job", job},
                       {"phase", "waiting"},
                       {"position", pause.measured},
                       {"positions", pause.count},
                       {"next", pause.measured < pause.count ? json(pause.measured + 1) : json(nullptr)},
                       {"measured", ResultJson(pause.result)},
                       {"average", AveragesJson(pause.averages)}};
    boost::asio::post(io_, [this, message] {
        if (!running_) return;
        running_->progress = message;
        running_->awaiting = true;
        hub_.Broadcast(message.dump());
    });
    std::unique_lock lock(choiceMutex_);
    choiceMade_.wait(lock, [this] { return choice_.has_value() || cancel_; });
    if (cancel_) return PositionChoice::Cancel;
    return *std::exchange(choice_, std::nullopt);
}

bool MeasuringDesk::Refused(const DeskUnit& unit, const Respond& respond) const
{
    claim_.RequireFree();
    if (unit.unit.Connected()) return false;
    respond(ErrorResponse(503, "A measurement sets the unit's mutes between the sweeps, and the unit is not "
                               "connected: " + unit.unit.Reason()));
    return true;
}

void MeasuringDesk::Run(const DeskUnit& unit, const char* job, Work work, std::function<void(Outcome)> finish)
{
    cancel_ = false;
    choice_.reset();
    running_ = Running{&unit.unit, unit.name, job, json::object()};
    claim_.Take(std::string("A ") + job + " of " + unit.name);
    TuneCallbacks callbacks = Callbacks(unit.name, job);
    boost::asio::post(thread_, [this, work = std::move(work), callbacks = std::move(callbacks),
                                finish = std::move(finish)]() mutable {
        Outcome outcome = work(callbacks, cancel_);
        boost::asio::post(io_, [this, finish = std::move(finish), outcome = std::move(outcome)]() mutable {
            finish(outcome);
            Finished(std::move(outcome));
        });
    });
}

TuneCallbacks MeasuringDesk::Callbacks(const std::string& unit, const std::string& job)
{
    TuneCallbacks callbacks;
    // A tuning pass's stage leads its sequences' progress (the job's thread sets and reads it).
    auto stage = std::make_shared<std::string>();
    callbacks.stage = [stage](TuneStage now) { *stage = StageName(now); };
    callbacks.measure.progress = [this, unit, job, stage](const MeasureProgress& progress) {
        json message{{"type", "measure"},
                     {"unit", unit},
                     {"job", job},
                     {"stage", stage->empty() ? json(nullptr) : json(*stage)},
                     {"phase", PhaseName(progress.phase)},
                     {"output", progress.output ? json(OutputName(*progress.output)) : json(nullptr)},
                     {"fraction", progress.fraction}};
        boost::asio::post(io_, [this, message = std::move(message)] {
            if (running_) running_->progress = message;
            hub_.Broadcast(message.dump());
        });
    };
    callbacks.await = [this, unit, job](const PositionPause& pause) { return AwaitPerson(unit, job, pause); };
    auto lastLevel = std::make_shared<Clock::time_point>();
    callbacks.measure.inputLevel = [this, unit, lastLevel](double dbfs) {
        const Clock::time_point now = Clock::now();
        if (now - *lastLevel < kLevelInterval) return;
        *lastLevel = now;
        const json message{{"type", "level"}, {"unit", unit}, {"dbfs", dbfs}};
        boost::asio::post(io_, [this, text = message.dump()] { hub_.Broadcast(text); });
    };
    return callbacks;
}

void MeasuringDesk::Finished(Outcome outcome)
{
    last_ = outcome.body;
    last_["unit"] = running_->name;
    last_["job"] = running_->job;
    // The curves stay with the answer and GET /api/measure: the clients are told it ended, and how.
    json message{{"type", "measure"}, {"unit", running_->name}, {"job", running_->job}, {"phase", "done"}};
    for (const char* key : {"outcome", "error", "warning"})
        if (last_.contains(key)) message[key] = last_[key];
    hub_.Broadcast(message.dump());
    running_.reset();
    claim_.Release();
    for (const auto& done : std::exchange(stopped_, {})) done();
}

MeasuringDesk::json MeasuringDesk::State() const
{
    return {{"running", running_.has_value()},
            {"job", running_ ? json(running_->job) : json(nullptr)},
            {"unit", running_ ? json(running_->name) : json(nullptr)},
            {"progress", running_ ? running_->progress : json(nullptr)},
            {"last", last_},
            {"limits", LimitsJson()}};
}
