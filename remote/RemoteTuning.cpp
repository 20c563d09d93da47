// The PEQ tuning part of the API: a measurement kept per channel, the fit
// of the channel's bands to it as a proposal, and the three bands set in
// one request.
//
//   PUT    /api/measurements/CH     a measurement export as text: kept, answered parsed
//   GET    /api/measurements/CH     the kept measurement; 404 without one
//   DELETE /api/measurements/CH
//   POST   /api/fit/CH              {"lowHz","highHz","maxBoostDb","maxCutDb","target"}, each optional;
//                                   fitted on the FitWorker's thread, answered once done
//   PUT    /api/settings/CH/peq     {"peq": [three bands of {"FIELD": steps or text}], "gain"}:
//                                   the bands (and the channel level, optional) as one step
//                                   of the history
//
// A change of a kept measurement is announced as "measurement" {"channel",
// "measurement"} (null when deleted).
#include <algorithm>
#include <cmath>

#include "ApiFields.h"
#include "ChannelJson.h"
#include "RemoteApi.h"
#include "RemoteUnit.h"
#include "memfile/ChannelValuesJson.h"
#include "model/ChannelFields.h"
#include "model/Scales.h"
#include "tuning/MeasurementLevels.h"
#include "tuning/PeqFit.h"
#include "tuning/TuningText.h"

namespace {

using json = nlohmann::ordered_json;

// Levels to two decimals, null where there is none.
json RoundedOrNull(const double* levels, std::size_t count)
{
    json values = json::array();
    for (std::size_t i = 0; i < count; ++i)
        values.push_back(std::isfinite(levels[i]) ? json(std::round(levels[i] * 100.0) / 100.0) : json(nullptr));
    return values;
}

LevelCurve ParseCurveBody(const std::string& text)
{
    try {
        return ParseLevelCurve(text);
    } catch (const TuningFileError& error) {
        throw RequestError(400, error.what());
    }
}

double NumberOption(const json& body, const char* key, double fallback)
{
    if (!body.contains(key)) return fallback;
    if (!body[key].is_number()) throw RequestError(400, std::string("\"") + key + "\" must be a number.");
    return body[key].get<double>();
}

FitOptions ParseFitOptions(const ApiRequest& request)
{
    // No body: the defaults.
    const json body = request.body.empty() ? json::object() : JsonBody(request);
    static const char* const kKeys[] = {"lowHz", "highHz", "maxBoostDb", "maxCutDb", "target"};
    for (const auto& item : body.items())
        if (std::find(std::begin(kKeys), std::end(kKeys), item.key()) == std::end(kKeys))
            throw RequestError(400, "The fit takes no \"" + item.key() + "\".");
    FitOptions options;
    options.lowHz = NumberOption(body, "lowHz", options.lowHz);
    options.highHz = NumberOption(body, "highHz", options.highHz);
    options.maxBoostDb = NumberOption(body, "maxBoostDb", options.maxBoostDb);
    options.maxCutDb = NumberOption(body, "maxCutDb", options.maxCutDb);
    if (body.contains("target")) {
        if (!body["target"].is_string()) throw RequestError(400, "\"target\" must be a target curve as text.");
        options.target = ParseCurveBody(body["target"].get<std::string>());
    }
    return options;
}

json FitJson(int slot, const FitResult& result)
{
    ParameterModel proposal{};
    LoadDefaults(proposal);
    WritePeqBands(proposal, slot, result.bands);
    json hz = json::array();
    for (int k = result.firstStep; k <= result.lastStep; ++k) hz.push_back(FreqTable[k]);
    return {{"channel", ChannelName(slot)},
            {"peq", ChannelJson(proposal, slot)["peq"]},
            {"values", ChannelValuesJson(proposal, slot)["peq"]},
            {"rmsBeforeDb", std::round(result.rmsBeforeDb * 1000.0) / 1000.0},
            {"rmsAfterDb", std::round(result.rmsAfterDb * 1000.0) / 1000.0},
            {"curve",
             {{"firstStep", result.firstStep},
              {"hz", std::move(hz)},
              {"measured", RoundedOrNull(result.measured.data(), result.measured.size())},
              {"predicted", RoundedOrNull(result.predicted.data(), result.predicted.size())},
              {"target", RoundedOrNull(result.target.data(), result.target.size())}}}};
}

void WriteEdit(const FieldEdit& edit, ParameterModel& setting)
{
    for (const FieldEdit::Assignment& assignment : edit.assignments) assignment.target(setting) = assignment.step;
}

// `now` with the bands of {"peq": [...]} (and the channel level of "gain",
// which an imported preamp sets with them): every value checked before any is sent.
ParameterModel PeqSetting(const std::string& channel, const json& body, const ParameterModel& now)
{
    if (!body.contains("peq") || !body["peq"].is_array() || body["peq"].size() != kPeqBands)
        throw RequestError(400, "The body must be {\"peq\": [three bands]}.");
    ParameterModel setting = now;
    for (int band = 0; band < kPeqBands; ++band) {
        const json& fields = body["peq"][static_cast<std::size_t>(band)];
        if (!fields.is_object()) throw RequestError(400, "Each band must be an object of its fields.");
        for (const auto& [name, value] : fields.items())
            WriteEdit(ParseApiFieldEdit(channel, {"peq", std::to_string(band), name}, value), setting);
    }
    if (body.contains("gain")) WriteEdit(ParseApiFieldEdit(channel, {"gain"}, body["gain"]), setting);
    return setting;
}

// The history's name of the change: "PEQ Left & Right", "PEQ and Level Sub".
std::string PeqStepLabel(int slot, bool withLevel)
{
    return std::string(withLevel ? "PEQ and Level " : "PEQ ") + (slot == kSlotSub ? "Sub" : "Left & Right");
}

}  // namespace

bool RemoteApi::RouteTuning(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond)
{
    const std::string first = path.empty() ? "" : path[0];
    if (path.size() == 2 && first == "measurements") {
        const int slot = ChannelSlot(path[1]);
        if (request.method == "PUT") return PutMeasurement(request, slot, respond), true;
        if (request.method == "DELETE") return DeleteMeasurement(slot, respond), true;
        RequireMethod(request, "GET");
        if (!measurements_[static_cast<std::size_t>(slot)])
            throw RequestError(404, std::string("No measurement of ") + ChannelName(slot) + " has been uploaded.");
        respond(JsonResponse(KeptCurveJson(slot)));
        return true;
    }
    if (path.size() == 2 && first == "fit") {
        RequireMethod(request, "POST");
        FitChannel(request, ChannelSlot(path[1]), respond);
        return true;
    }
    if (path.size() == 3 && first == "settings" && path[2] == "peq") {
        RequireMethod(request, "PUT");
        SetPeqBands(request, path[1], respond);
        return true;
    }
    return false;
}

void RemoteApi::PutMeasurement(const ApiRequest& request, int slot, const Respond& respond)
{
    RequireContentType(request, "text/plain");
    KeepMeasurement(slot, ParseCurveBody(request.body));
    respond(JsonResponse(KeptCurveJson(slot)));
}

void RemoteApi::KeepMeasurement(int slot, LevelCurve measurement)
{
    measurements_[static_cast<std::size_t>(slot)] = std::move(measurement);
    Announce("measurement", {{"channel", ChannelName(slot)}, {"measurement", KeptCurveJson(slot)}});
}

void RemoteApi::DeleteMeasurement(int slot, const Respond& respond)
{
    measurements_[static_cast<std::size_t>(slot)].reset();
    Announce("measurement", {{"channel", ChannelName(slot)}, {"measurement", nullptr}});
    respond(JsonResponse({{"channel", ChannelName(slot)}, {"measurement", nullptr}}));
}

RemoteApi::json RemoteApi::KeptCurveJson(int slot) const
{
    const LevelCurve& measurement = *measurements_[static_cast<std::size_t>(slot)];
    const ResponseCurve levels = MeasurementLevels(measurement);
    return {{"channel", ChannelName(slot)},
            {"hz", measurement.hz},
            {"db", measurement.db},
            {"levels", RoundedOrNull(levels.data(), levels.size())}};
}

void RemoteApi::FitChannel(const ApiRequest& request, int slot, const Respond& respond)
{
    FitOptions options = ParseFitOptions(request);
    const auto& measurement = measurements_[static_cast<std::size_t>(slot)];
    if (!measurement) throw RequestError(409, std::string("Upload a measurement of ") + ChannelName(slot) + " first.");
    fits_.Run(*measurement, std::move(options), [respond, slot](FitOutcome outcome) {
        if (outcome.result) return respond(JsonResponse(FitJson(slot, *outcome.result)));
        respond(ErrorResponse(outcome.refused ? 400 : 500, outcome.reason));
    });
}

void RemoteApi::SetPeqBands(const ApiRequest& request, const std::string& channel, const Respond& respond)
{
    const json body = OneKeyBody(request, "peq", "gain");
    const int slot = ChannelSlot(channel);
    const ParameterModel target = PeqSetting(channel, body, unit_.Expected());
    if (Unavailable(respond)) return;
    // Only the bands that differ are sent (SettingMessages), as one step of the history.
    unit_.ChangeSetting(target, PeqStepLabel(slot, body.contains("gain")), [this, respond, slot](int result) {
        if (result != 0) return respond(UnitFailure("The unit did not acknowledge the change."));
        json channelBody = ChannelBody(slot);
        channelBody["seq"] = seq_;
        respond(JsonResponse(channelBody));
    });
}
