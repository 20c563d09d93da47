#include "MeasuringDesk.h"

#include <chrono>
#include <memory>

#include <boost/asio/post.hpp>

#include "FitMeasurement.h"
#include "MeasurementFiles.h"
#include "PushChannel.h"
#include "RemoteMutes.h"
#include "RemoteUnit.h"

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
        body["outputs"][i]["verdictText"] = result.outputs[i].verdictText;
    body["absoluteTime"] = result.absoluteTime;
    body["allOk"] = result.AllOk();
    body["unrestored"] = UnrestoredJson(result.unrestored);
    body["warning"] = UnrestoredWarning(result.unrestored);
    return body;
}

// Only the outputs judged ok feed the fit.
MeasurementResult OkOutputs(MeasurementResult result)
{
    std::erase_if(result.outputs, [](const OutputResult& output) { return output.verdict != Verdict::Ok; });
    return result;
}

double NumberField(const json& body, const char* key, double fallback)
{
    if (!body.contains(key)) return fallback;
    if (!body[key].is_number()) throw RequestError(400, std::string("\"") + key + "\" must be a number.");
    return body[key].get<double>();
}

int ChannelField(const json& body, const char* key, int fallback)
{
    if (!body.contains(key)) return fallback;
    if (!body[key].is_number_integer() || body[key].get<int>() < 1)
        throw RequestError(400, std::string("\"") + key + "\" must be an input channel, 1 or more.");
    return body[key].get<int>();
}

std::string TextField(const json& body, const char* key)
{
    if (!body.contains(key)) return {};
    if (!body[key].is_string()) throw RequestError(400, std::string("\"") + key + "\" must be a text.");
    return body[key].get<std::string>();
}

std::vector<MeasuredOutput> OutputsField(const json& body, const std::vector<MeasuredOutput>& fallback)
{
    if (!body.contains("outputs")) return fallback;
    const json& given = body["outputs"];
    std::string list;
    for (const json& name : given.is_array() ? given : json::array({given})) {
        if (!name.is_string()) throw RequestError(400, "\"outputs\" names left, right, sub and system, as texts.");
        list += (list.empty() ? "" : ",") + name.get<std::string>();
    }
    std::vector<MeasuredOutput> outputs = ParseOutputList(list);
    if (outputs.empty()) throw RequestError(400, "\"outputs\" names left, right, sub and system, each once: " + list);
    return outputs;
}

// The settings of quenbar-cli measure, from the body's fields (none: its defaults).
MeasureSettings SettingsOf(const ApiRequest& request)
{
    const json body = request.body.empty() ? json::object() : JsonBody(request);
    static const char* const kKeys[] = {"outputs",  "levelDbfs", "loud", "micChannel", "loopbackChannel",
                                        "lengthS", "rate",      "play", "record"};
    for (const auto& item : body.items())
        if (std::find(std::begin(kKeys), std::end(kKeys), item.key()) == std::end(kKeys))
            throw RequestError(400, "A measurement takes no \"" + item.key() + "\".");
    MeasureSettings settings;
    settings.outputs = OutputsField(body, settings.outputs);
    settings.levelDbfs = NumberField(body, "levelDbfs", settings.levelDbfs);
    if (body.contains("loud") && !body["loud"].is_boolean()) throw RequestError(400, "\"loud\" must be true or false.");
    settings.allowLoud = body.value("loud", false);
    settings.microphoneChannel = ChannelField(body, "micChannel", settings.microphoneChannel);
    if (body.contains("loopbackChannel") && !body["loopbackChannel"].is_null())
        settings.loopbackChannel = ChannelField(body, "loopbackChannel", 1);
    settings.sweepSeconds = NumberField(body, "lengthS", settings.sweepSeconds);
    if (settings.sweepSeconds < 0.5 || settings.sweepSeconds > 30.0)
        throw RequestError(400, "\"lengthS\" must be 0.5 to 30 seconds.");
    settings.rate = ChannelField(body, "rate", settings.rate);
    if (settings.rate != 44100 && settings.rate != 48000 && settings.rate != 96000)
        throw RequestError(400, "\"rate\" must be 44100, 48000 or 96000.");
    settings.playDevice = TextField(body, "play");
    settings.recordDevice = TextField(body, "record");
    return settings;
}

}  // namespace

std::unique_ptr<SoundCardDesk> MakeSoundCardDesk(boost::asio::any_io_executor io, PushHub& hub)
{
    return std::make_unique<MeasuringDesk>(std::move(io), hub);
}

MeasuringDesk::MeasuringDesk(boost::asio::any_io_executor io, PushHub& hub) : io_(std::move(io)), hub_(hub) {}

MeasuringDesk::~MeasuringDesk()
{
    cancel_ = true;
    thread_.join();
}

bool MeasuringDesk::Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
                          const Respond& respond)
{
    if (path.empty() || path[0] != "measure") return false;
    if (path.size() == 2 && path[1] == "cancel") {
        RequireMethod(request, "POST");
        Cancel(respond);
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
    stopped_.push_back(std::move(done));
}

void MeasuringDesk::Measure(const DeskUnit& unit, const ApiRequest& request, const Respond& respond)
{
    const MeasureSettings settings = SettingsOf(request);
    if (Refused(unit, respond)) return;
    auto mutes = std::make_shared<RemoteMutes>(unit.unit, io_);
    auto kept = std::make_shared<MeasurementResult>();
    Run(
        unit, "measure",
        [settings, mutes, kept](const MeasureCallbacks& callbacks, const std::atomic<bool>& cancel) -> Outcome {
            try {
                *kept = ::Measure(settings, mutes.get(), callbacks, cancel);
                return {200, ResultJson(*kept)};
            } catch (const MeasureError& error) {
                return {StatusOf(error.kind()), FailureJson(error)};
            }
        },
        [keep = unit.keep, kept, respond](Outcome outcome) {
            json channels = json::array();
            const MeasurementResult usable = OkOutputs(*kept);
            for (const auto& [slot, name] : {std::pair{kSlotLeftRight, "lr"}, {kSlotSub, "sub"}})
                if (std::optional<Measurement> measurement = FitMeasurementOf(usable, slot)) {
                    keep(slot, std::move(*measurement));
                    channels.push_back(name);
                }
            if (outcome.status == 200) outcome.body["kept"] = channels;
            respond(JsonResponse(outcome.body, outcome.status));
        });
}

void MeasuringDesk::Cancel(const Respond& respond)
{
    if (!running_) throw RequestError(409, "No measurement is running.");
    cancel_ = true;
    respond(JsonResponse({{"cancelling", running_->job}}, 202));
}

bool MeasuringDesk::Refused(const DeskUnit& unit, const Respond& respond) const
{
    if (running_)
        throw RequestError(409, "A " + running_->job + " of " + running_->name +
                                    " is running: one at a time through the sound card.");
    if (unit.unit.Connected()) return false;
    respond(ErrorResponse(503, "A measurement sets the unit's mutes between the sweeps, and the unit is not "
                               "connected: " + unit.unit.Reason()));
    return true;
}

void MeasuringDesk::Run(const DeskUnit& unit, const char* job, Work work, std::function<void(Outcome)> finish)
{
    cancel_ = false;
    running_ = Running{&unit.unit, unit.name, job, json::object()};
    MeasureCallbacks callbacks = Callbacks(unit.name, job);
    boost::asio::post(thread_, [this, work = std::move(work), callbacks = std::move(callbacks),
                                finish = std::move(finish)]() mutable {
        Outcome outcome = work(callbacks, cancel_);
        boost::asio::post(io_, [this, finish = std::move(finish), outcome = std::move(outcome)]() mutable {
            finish(outcome);
            Finished(std::move(outcome));
        });
    });
}

MeasureCallbacks MeasuringDesk::Callbacks(const std::string& unit, const std::string& job)
{
    MeasureCallbacks callbacks;
    callbacks.progress = [this, unit, job](const MeasureProgress& progress) {
        json message{{"type", "measure"},
                     {"unit", unit},
                     {"job", job},
                     {"phase", PhaseName(progress.phase)},
                     {"output", progress.output ? json(OutputName(*progress.output)) : json(nullptr)},
                     {"fraction", progress.fraction}};
        boost::asio::post(io_, [this, message = std::move(message)] {
            if (running_) running_->progress = message;
            hub_.Broadcast(message.dump());
        });
    };
    auto lastLevel = std::make_shared<Clock::time_point>();
    callbacks.inputLevel = [this, unit, lastLevel](double dbfs) {
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
    for (const auto& done : std::exchange(stopped_, {})) done();
}

MeasuringDesk::json MeasuringDesk::State() const
{
    return {{"running", running_.has_value()},
            {"job", running_ ? json(running_->job) : json(nullptr)},
            {"unit", running_ ? json(running_->name) : json(nullptr)},
            {"progress", running_ ? running_->progress : json(nullptr)},
            {"last", last_}};
}
