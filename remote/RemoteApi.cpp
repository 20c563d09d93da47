#include "RemoteApi.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "ApiFields.h"
#include "ChannelJson.h"
#include "CommandError.h"
#include "LogoLine.h"
#include "MemoryFileAccess.h"
#include "MemoryName.h"
#include "PushChannel.h"
#include "RemoteUnit.h"
#include "SoundCardDesk.h"
#include "memfile/ChannelValuesJson.h"
#include "memfile/MemoryFile.h"
#include "memfile/MemoryFileJson.h"
#include "model/Scales.h"
#include "response/Response.h"

namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view kApiPrefix = "/api/";
constexpr const char* kJsonType = "application/json";
constexpr const char* kFileType = "application/octet-stream";

// The path's segments after /api/.
std::vector<std::string> Segments(std::string_view path)
{
    std::vector<std::string> segments;
    path.remove_prefix(std::min(path.size(), kApiPrefix.size()));
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        segments.emplace_back(path.substr(0, slash));
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    }
    return segments;
}

// The history's id of a client's gesture, a text or a whole number; none without one.
long GestureId(const json& body)
{
    if (!body.contains("gesture")) return SettingHistory::kNoGesture;
    const json& gesture = body["gesture"];
    if (!gesture.is_string() && !gesture.is_number_integer())
        throw RequestError(400, "\"gesture\" must be a text or a whole number.");
    const long id = static_cast<long>(std::hash<std::string>{}(gesture.dump()));
    return id == SettingHistory::kNoGesture ? 1 : id;
}

json NullOr(const HistoryStep* step) { return step ? json(step->label) : json(nullptr); }

json ChangeJson(const FieldChange& change)
{
    const SettingField& field = change.field;
    json entry{{"channel", ChannelName(field.slot)}};
    if (field.peq) entry["peq"] = field.band;
    entry["field"] = field.channel ? field.channel->name : field.peq->name;
    entry["before"] = change.before;
    entry["after"] = change.after;
    return entry;
}

int ParseSlot(const std::string& text)
{
    int slot = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, slot);
    if (text.empty() || error != std::errc{} || stop != end || slot < 1 || slot > kMemorySlots)
        throw RequestError(400, "SLOT must be 1..6: " + text);
    return slot;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

json LogLinesJson(const std::vector<LogLine>& lines)
{
    json array = json::array();
    for (const LogLine& line : lines)
        array.push_back({{"seq", line.seq},
                         {"timeMs", line.timeMs},
                         {"direction", line.decoded.direction},
                         {"meaning", line.decoded.meaning},
                         {"hex", line.decoded.hex},
                         {"text", line.text}});
    return array;
}

std::string ResetEffect(const std::string& device)
{
    return "The unit on " + device +
           " goes back to the factory: its current setting and all six memories take the factory setting, and "
           "what the memories hold now is lost (save a memory file first). Its logo stays.";
}

std::string LogoEffect(const std::string& line1, const std::string& line2)
{
    return "The unit's display shows the logo \"" + line1 + "\" / \"" + line2 + "\" (blank-padded to 20 characters).";
}

json Rounded(const ResponseCurve& curve)
{
    json values = json::array();
    for (const double dB : curve) values.push_back(std::round(dB * 100.0) / 100.0);
    return values;
}

}  // namespace

void RequireMethod(const ApiRequest& request, std::string_view allowed)
{
    if (request.method != allowed)
        throw RequestError(405,
                           request.method + " is not allowed on " + request.path + "; use " + std::string(allowed));
}

void RequireContentType(const ApiRequest& request, std::string_view type)
{
    const std::string_view given = std::string_view(request.contentType).substr(0, request.contentType.find(';'));
    if (given != type) throw RequestError(415, "Send the body as " + std::string(type) + ".");
}

nlohmann::ordered_json JsonBody(const ApiRequest& request)
{
    RequireContentType(request, kJsonType);
    json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) throw RequestError(400, "The body must be a JSON object.");
    return body;
}

// A body of one key (and perhaps an optional second one): another key is a
// client's mistake (a slot, a channel meant elsewhere) that must not be
// carried out as something else.
nlohmann::ordered_json OneKeyBody(const ApiRequest& request, const std::string& key, const std::string& optional)
{
    json body = JsonBody(request);
    for (const auto& item : body.items())
        if (item.key() != key && (optional.empty() || item.key() != optional))
            throw RequestError(400, "The body takes only \"" + key + "\"" +
                                        (optional.empty() ? "" : " and \"" + optional + "\"") + ": \"" + item.key() +
                                        "\" is not one.");
    return body;
}

std::optional<std::string> QueryParameter(const ApiRequest& request, std::string_view name)
{
    std::string_view query = request.query;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) != name) continue;
        std::string value(equals == std::string_view::npos ? std::string_view{} : pair.substr(equals + 1));
        std::replace(value.begin(), value.end(), '+', ' ');
        return PercentDecoded(value, "the query's " + std::string(name));
    }
    return std::nullopt;
}

std::string PercentDecoded(std::string_view text, const std::string& what)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high < 0 ? -1 : HexDigit(text[i + 2]);
        if (low < 0) throw RequestError(400, "A bad %-escape in " + what + ": " + std::string(text));
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

RemoteApi::RemoteApi(RemoteUnit& unit, PushHub& hub, std::string name, boost::asio::any_io_executor io,
                     FitWorker::Fit fit, SoundCardDesk& desk, ReportMaker report)
    : unit_(unit),
      hub_(hub),
      name_(std::move(name)),
      report_(std::move(report)),
      desk_(desk),
      fits_(std::move(io), std::move(fit))
{
    unit_.Log().onLines = [this](const std::vector<LogLine>& lines) {
        if (hub_.LogWanted()) hub_.BroadcastLog(Message("log", {{"lines", LogLinesJson(lines)}}));
    };
    unit_.events.channelChanged = [this](int slot) { Announce("channel", ChannelBody(slot)); };
    unit_.events.stateReplaced = [this] { Announce("state", StateBody()); };
    unit_.events.directoryChanged = [this] { Announce("memories", MemoriesBody()); };
    unit_.events.linkChanged = [this] { Announce("link", {{"link", LinkJson()}}); };
    unit_.events.historyChanged = [this](const std::string& restarted) {
        json body = HistoryBody();
        if (!restarted.empty()) body["restarted"] = restarted;
        Announce("history", body);
        desk_.HistoryChanged(unit_, name_);
    };
}

RemoteApi::~RemoteApi() { unit_.Log().onLines = nullptr; }

void RemoteApi::Handle(const ApiRequest& request, const Respond& respond)
{
    try {
        Route(request, Segments(request.path), respond);
    } catch (const RequestError& error) {
        respond(ErrorResponse(error.Status(), error.what()));
    }
}

void RemoteApi::Route(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond)
{
    if (RouteTuning(request, path, respond)) return;
    const DeskUnit deskUnit{unit_, name_, [this](int slot, LevelCurve measurement) {
                                KeepMeasurement(slot, std::move(measurement));
                            }};
    if (desk_.Route(deskUnit, request, path, respond)) return;
    const std::string first = path.empty() ? "" : path[0];
    if (path.size() == 1 && first == "scales") {
        RequireMethod(request, "GET");
        return respond(JsonResponse(ScalesJson()));
    }
    if (path.size() == 1 && first == "state") {
        RequireMethod(request, "GET");
        if (!Unavailable(respond)) respond(JsonResponse(StateBody()));
        return;
    }
    if (path.size() == 1 && first == "response") {
        RequireMethod(request, "GET");
        if (!Unavailable(respond)) respond(JsonResponse(ResponseJson()));
        return;
    }
    if (path.size() >= 3 && first == "settings") {
        RequireMethod(request, "PUT");
        return EditField(request, path, respond);
    }
    if (path.size() == 2 && first == "memories") {
        const int slot = ParseSlot(path[1]);
        if (request.method == "PUT") return StoreMemory(request, slot, respond);
        RequireMethod(request, "DELETE");
        return DeleteMemory(slot, respond);
    }
    if (path.size() == 3 && first == "memories" && path[2] == "recall") {
        RequireMethod(request, "POST");
        return RecallMemory(ParseSlot(path[1]), respond);
    }
    if (path.size() == 1 && (first == "undo" || first == "redo")) {
        RequireMethod(request, "POST");
        return UndoOrRedo(first == "redo", respond);
    }
    if ((path.size() == 2 || path.size() == 3) && first == "ab") return AbRequest(request, path, respond);
    if (path.size() == 1 && first == "history") {
        RequireMethod(request, "GET");
        return respond(JsonResponse(HistoryStepsBody()));
    }
    if (path.size() == 1 && (first == "memory-file" || first == "memory-file.json")) {
        const FileForm form = first == "memory-file" ? FileForm::Bytes : FileForm::Json;
        if (request.method == "PUT") return UploadMemoryFile(request, form, respond);
        RequireMethod(request, "GET");
        return DownloadMemoryFile(form, respond);
    }
    if (path.size() == 1 && (first == "log" || first == "log.txt")) {
        RequireMethod(request, "GET");
        return LogRequest(request, first == "log.txt", respond);
    }
    if (path.size() == 1 && first == "report.pdf") {
        RequireMethod(request, "GET");
        return Report(respond);
    }
    if (path.size() == 2 && first == "service") return Service(request, path[1], respond);
    throw RequestError(404, "Nothing here: " + request.path);
}

void RemoteApi::EditField(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond)
{
    const json body = OneKeyBody(request, "value", "gesture");
    if (!body.contains("value")) throw RequestError(400, "The body must be {\"value\": steps or text}.");
    const FieldEdit edit = ParseApiFieldEdit(path[1], {path.begin() + 2, path.end()}, body["value"]);
    const long gesture = GestureId(body);
    if (Unavailable(respond)) return;
    unit_.Edit(
        edit,
        [this, respond, slot = edit.slot](int result) {
            if (result != 0) return respond(UnitFailure("The unit did not acknowledge the change."));
            json answer = ChannelBody(slot);
            answer["seq"] = seq_;
            respond(JsonResponse(answer));
        },
        gesture);
}

// Answers with the whole state once the unit has acknowledged every field sent.
std::function<void(int result)> RemoteApi::StateOnceSettled(const Respond& respond)
{
    return [this, respond](int result) {
        if (result != 0) return respond(UnitFailure("The unit did not acknowledge the change."));
        json answer = StateBody();
        answer["history"] = HistoryBody();
        respond(JsonResponse(answer));
    };
}

void RemoteApi::UndoOrRedo(bool redo, const Respond& respond)
{
    if (Unavailable(respond)) return;
    const auto settled = StateOnceSettled(respond);
    if (!(redo ? unit_.Redo(settled) : unit_.Undo(settled)))
        throw RequestError(409, redo ? "Nothing to redo." : "Nothing to undo.");
}

void RemoteApi::AbRequest(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond)
{
    if (path[1] != "A" && path[1] != "B") throw RequestError(404, "Nothing here: " + request.path + " (A or B)");
    const AbSide side = path[1] == "A" ? AbSide::A : AbSide::B;
    if (path.size() == 2) {
        RequireMethod(request, "PUT");
        if (Unavailable(respond)) return;
        unit_.KeepAb(side);
        return respond(JsonResponse(HistoryBody()));
    }
    if (path[2] != "apply") throw RequestError(404, "Nothing here: " + request.path);
    RequireMethod(request, "POST");
    if (Unavailable(respond)) return;
    if (!unit_.SwitchAb(side, StateOnceSettled(respond)))
        throw RequestError(409, std::string(AbSideName(side)) + " keeps no setting yet.");
}

void RemoteApi::StoreMemory(const ApiRequest& request, int slot, const Respond& respond)
{
    const json body = OneKeyBody(request, "name");
    if (!body.contains("name") || !body["name"].is_string())
        throw RequestError(400, "The body must be {\"name\": \"...\"}.");
    const std::string name = body["name"].get<std::string>();
    CheckAsRequest(400, [&name] { CheckStoreName(name); });
    if (Unavailable(respond)) return;
    unit_.Store(slot, name, [this, respond](int result) {
        respond(result == 0 ? JsonResponse(MemoriesBody()) : UnitFailure("Fail to store to memory !"));
    });
}

void RemoteApi::RecallMemory(int slot, const Respond& respond)
{
    if (Unavailable(respond)) return;
    CheckAsRequest(409, [this, slot] { CheckRecallable(unit_.Unit(), slot); });
    unit_.Recall(slot, [this, respond](int result) {
        respond(result == 0 ? JsonResponse(StateBody()) : UnitFailure("Fail to read from MCU !"));
    });
}

void RemoteApi::DeleteMemory(int slot, const Respond& respond)
{
    if (Unavailable(respond)) return;
    unit_.Delete(slot, [this, respond](int result) {
        respond(result == 0 ? JsonResponse(MemoriesBody()) : UnitFailure("Fail to erase from memory!"));
    });
}

void RemoteApi::DownloadMemoryFile(FileForm form, const Respond& respond)
{
    if (Unavailable(respond)) return;
    unit_.ReadMemoryFile([this, form, respond](const UnitMemoryFile& file) {
        if (!file.Complete()) return respond(UnitFailure(DescribeUnreadSlots(file.unreadSlots)));
        ApiResponse download = form == FileForm::Json
                                   ? JsonResponse(MemoryFileToJson(file.bytes))
                                   : ApiResponse{200, kFileType, std::string(file.bytes.begin(), file.bytes.end()), {}};
        const char* name = form == FileForm::Json ? "unit.json" : "unit.cmf";
        download.headers.emplace_back("Content-Disposition", std::string("attachment; filename=\"") + name + "\"");
        respond(std::move(download));
    });
}

void RemoteApi::UploadMemoryFile(const ApiRequest& request, FileForm form, const Respond& respond)
{
    std::vector<std::uint8_t> bytes;
    if (form == FileForm::Json) {
        try {
            bytes = MemoryFileFromJson(JsonBody(request));
        } catch (const JsonDocumentError& error) {
            throw RequestError(400, error.what());
        }
    } else {
        RequireContentType(request, kFileType);
        bytes.assign(request.body.begin(), request.body.end());
    }
    if (const std::string problem = LoadedMemoryFileProblem(bytes); !problem.empty())
        throw RequestError(400, "File format error! The upload has " + problem + ".");
    if (const std::string problem = OutOfRangeProblem("The upload", MemoryFileFromBytes(bytes)); !problem.empty())
        throw RequestError(400, problem + "\nNothing was stored.");
    if (Unavailable(respond)) return;
    unit_.LoadMemoryFile(std::move(bytes), [this, respond](const LoadFileReport& report) {
        json answer = MemoriesBody();
        answer["report"] = DescribeLoad(report);
        if (report.result == LoadFileResult::Loaded) return respond(JsonResponse(answer));
        respond(UnitFailure("fail to download program data to unit!\n" + DescribeLoad(report)));
    });
}

void RemoteApi::LogRequest(const ApiRequest& request, bool asText, const Respond& respond) const
{
    long after = 0;
    if (const std::optional<std::string> given = QueryParameter(request, "after")) {
        const char* end = given->data() + given->size();
        const auto [stop, error] = std::from_chars(given->data(), end, after);
        if (given->empty() || error != std::errc{} || stop != end || after < 0)
            throw RequestError(400, "after must be a line's seq, a whole number from 0: " + *given);
    }
    const LogWindow window = unit_.Log().After(after);
    if (!asText)
        return respond(
            JsonResponse({{"seq", window.seq}, {"dropped", window.dropped}, {"lines", LogLinesJson(window.lines)}}));
    ApiResponse text{200, "text/plain; charset=utf-8", LogText(window), {}};
    text.headers.emplace_back("Content-Disposition", "attachment; filename=\"communication-log.txt\"");
    respond(std::move(text));
}

void RemoteApi::Report(const Respond& respond) const
{
    if (!report_)
        return respond({501,
                        "text/plain; charset=utf-8",
                        "This build makes no settings report: it has no Qt GUI (the Windows build). "
                        "The desktop program and quenbar-cli report on Linux make it.\n",
                        {}});
    if (Unavailable(respond)) return;
    std::string pdf = report_(unit_.Unit(), name_, unit_.Device());
    if (pdf.empty()) return respond(ErrorResponse(500, "The settings report could not be made."));
    ApiResponse download{200, "application/pdf", std::move(pdf), {}};
    download.headers.emplace_back("Content-Disposition", "attachment; filename=\"settings-report.pdf\"");
    respond(std::move(download));
}

// A service function runs only with "confirm": true; without it the client
// is told what it would do (428), so that it can ask the person.
void RemoteApi::Service(const ApiRequest& request, const std::string& function, const Respond& respond)
{
    const bool reset = function == "reset";
    if (!reset && function != "logo") throw RequestError(404, "Nothing here: " + request.path + " (reset or logo)");
    RequireMethod(request, reset ? "POST" : "PUT");
    const json body = JsonBody(request);
    std::string line1, line2;
    for (const auto& item : body.items()) {
        const bool known = item.key() == "confirm" || (!reset && (item.key() == "line1" || item.key() == "line2"));
        if (!known) throw RequestError(400, "The body takes no \"" + item.key() + "\".");
        if (item.key() == "confirm") continue;
        if (!item.value().is_string()) throw RequestError(400, "\"" + item.key() + "\" must be a text.");
        (item.key() == "line1" ? line1 : line2) = item.value().get<std::string>();
    }
    CheckAsRequest(400, [&] {
        CheckLogoLine(line1);
        CheckLogoLine(line2);
    });
    const std::string effect = reset ? ResetEffect(unit_.Device()) : LogoEffect(line1, line2);
    if (!body.contains("confirm") || body["confirm"] != true)
        return respond(
            ErrorResponse(428, "Send again with \"confirm\": true to go ahead. " + effect, {{"confirm", effect}}));
    if (Unavailable(respond)) return;
    const auto answer = [this, respond, effect](const char* failure) {
        return [this, respond, effect, failure](int result) {
            if (result != 0) return respond(UnitFailure(failure));
            respond(JsonResponse({{"done", effect}, {"state", StateBody()}}));
        };
    };
    if (reset) return unit_.Reset(answer("Read current value fail!."));
    unit_.WriteLogo(line1, line2, answer("商标更改失败"));
}

bool RemoteApi::Unavailable(const Respond& respond) const
{
    if (unit_.Connected()) return false;
    respond(ErrorResponse(503, unit_.Reason(), {{"link", LinkJson()}}));
    return true;
}

ApiResponse RemoteApi::UnitFailure(const std::string& message) const
{
    // A failure that lost the unit says so; the link state tells the rest.
    return ErrorResponse(503, message, {{"link", LinkJson()}});
}

json RemoteApi::LinkJson() const
{
    return {{"state", LinkStateName(unit_.State())}, {"reason", unit_.Reason()}, {"device", unit_.Device()}};
}

json RemoteApi::StateBody() const
{
    const ParameterModel& unit = unit_.Unit();
    return {{"seq", seq_},
            {"link", LinkJson()},
            {"memories", MemoryDirectoryJson(unit)},
            {"settings", SettingsJson(unit)},
            {"values", ValuesJson(unit)}};
}

json RemoteApi::ChannelBody(int slot) const
{
    return {{"channel", ChannelName(slot)},
            {"settings", ChannelJson(unit_.Unit(), slot)},
            {"values", ChannelValuesJson(unit_.Unit(), slot)}};
}

json RemoteApi::MemoriesBody() const { return {{"seq", seq_}, {"memories", MemoryDirectoryJson(unit_.Unit())}}; }

json RemoteApi::HistoryBody() const
{
    const SettingHistory& history = unit_.History();
    const AbCompare& ab = unit_.Ab();
    const std::optional<AbSide> active = ab.Active();
    return {{"undo", NullOr(history.ToUndo())},
            {"redo", NullOr(history.ToRedo())},
            {"undoCount", history.UndoCount()},
            {"redoCount", history.RedoCount()},
            {"ab",
             {{"A", ab.Kept(AbSide::A)},
              {"B", ab.Kept(AbSide::B)},
              {"active", active ? json(AbSideName(*active)) : json(nullptr)},
              {"drifted", unit_.AbDrifted()}}}};
}

json RemoteApi::HistoryStepsBody() const
{
    constexpr std::size_t kLatestSteps = 50;
    json steps = json::array();
    for (const HistoryStep* step : unit_.History().Latest(kLatestSteps)) {
        json changes = json::array();
        for (const FieldChange& change : step->changes) changes.push_back(ChangeJson(change));
        steps.push_back({{"label", step->label}, {"changes", std::move(changes)}});
    }
    json body{{"seq", seq_}};
    body.update(HistoryBody());
    body["steps"] = std::move(steps);
    return body;
}

json RemoteApi::ResponseJson() const
{
    json hz = json::array();
    for (const double frequency : FreqTable) hz.push_back(frequency);
    return {{"seq", seq_},
            {"hz", std::move(hz)},
            {"lr", Rounded(ComputeResponse(unit_.Unit(), kSlotLeftRight))},
            {"sub", Rounded(ComputeResponse(unit_.Unit(), kSlotSub))}};
}

std::string RemoteApi::StateMessage(const json& extra) const
{
    json body = StateBody();
    body.update(extra);
    return Message("state", body);
}

json RemoteApi::Summary() const
{
    const ParameterModel& unit = unit_.Unit();
    const auto used =
        std::count_if(std::begin(unit.memUsed), std::end(unit.memUsed), [](int flag) { return flag != 0; });
    return {{"name", name_}, {"device", unit_.Device()}, {"link", LinkJson()}, {"memoriesUsed", used}};
}

std::string RemoteApi::Message(const char* type, const json& body) const
{
    json message{{"type", type}, {"seq", seq_}, {"unit", name_}};
    for (const auto& [key, value] : body.items())
        if (key != "seq") message[key] = value;
    return message.dump();
}

void RemoteApi::Announce(const char* type, const json& body)
{
    ++seq_;
    hub_.Broadcast(Message(type, body));
}
