// The HTTP JSON API under /api, and the announcements on the push channel.
//
//   GET    /api/state                          link, memories, setting (steps and units)
//   GET    /api/scales                         every field's range and step texts
//   GET    /api/response                       the response curve of each channel
//   PUT    /api/settings/CH/FIELD              {"value": steps or a value in units}
//   PUT    /api/settings/CH/hpf|lpf            the same: a filter type or a frequency
//   PUT    /api/settings/CH/peq/BAND/FIELD     the same for a PEQ band
//   PUT    /api/memories/SLOT                  {"name": "..."}: store the setting
//   POST   /api/memories/SLOT/recall           a used memory only
//   DELETE /api/memories/SLOT
//   GET    /api/memory-file                    the six memories as a memory file
//   PUT    /api/memory-file                    a memory file stored into the unit
//   GET|PUT /api/memory-file.json              the same in the file's lossless JSON form
//   POST   /api/undo, /api/redo                the last step undone or the next redone, for
//                                              every client; 409 when there is none
//   GET    /api/history                        the latest steps, newest first
//   PUT    /api/ab/A|B                         keeps the setting as A or B
//   POST   /api/ab/A|B/apply                   switches to it (409 while it keeps nothing)
//   PUT|GET|DELETE /api/measurements/CH, POST /api/fit/CH, PUT /api/settings/CH/peq:
//                                              the PEQ tuning (RemoteTuning.cpp)
//   GET    /api/log?after=SEQ                  the communication log's lines after SEQ
//   GET    /api/log.txt                        its window as a text file
//   GET    /api/report.pdf                     the settings report of the unit's setting
//   POST|GET /api/measure, POST /api/measure/cancel, POST /api/tune, POST /api/tune/apply,
//   POST|GET /api/watch, POST /api/watch/stop|keep:
//                                              measuring, tuning and the live watch through
//                                              the serving machine's sound card (SoundCardDesk.h)
//   POST   /api/service/reset                  {"confirm": true}: the factory reset
//   PUT    /api/service/logo                   {"line1", "line2", "confirm": true}: the display's logo
//                                              (without the confirm: 428 and what it would do)
//
// A settings PUT may name its gesture ({"value": ..., "gesture": "drag-7"}):
// the edits of one gesture are one step of the history.
//
// Every push message is {"type", "seq", "unit", ...}, "unit" naming the unit
// it concerns and seq counting that unit's announcements: "state"
// (everything; a client is first sent one of every unit, the first of them
// with the list of units, RemoteUnits.h), "channel" (one channel's setting), "memories",
// "link" (the link's state under "link", at every change of it), "history"
// (what Undo and Redo would do, and "ab": the sides kept, the active one and
// whether the setting drifted from it, at every change of either; "restarted"
// says why a new one started). A response to a change carries the seq of the
// announcement that reported it. "log" messages ({"type", "unit", "lines"},
// no seq of their own: each line has its number) go to the clients that
// asked for them (PushChannel.h).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <boost/asio/any_io_executor.hpp>

#include "ApiTypes.h"
#include "FitWorker.h"
#include "ServeOptions.h"
#include "model/Model.h"
#include "tuning/LevelCurveFile.h"

class PushHub;
class RemoteUnit;
class SoundCardDesk;

class RemoteApi {
public:
    using Respond = std::function<void(ApiResponse)>;

    // Announces the unit's changes on the hub, each message naming the unit
    // under "unit", and runs `fit` off the io thread (`io`: its executor).
    // `report` makes the settings report (none: 501); `desk` measures
    // through the sound card, one job at a time for every unit served.
    RemoteApi(RemoteUnit& unit, PushHub& hub, std::string name, boost::asio::any_io_executor io, FitWorker::Fit fit,
              SoundCardDesk& desk, ReportMaker report = {});
    ~RemoteApi();

    // A request under /api/; `respond` is called once, perhaps later.
    void Handle(const ApiRequest& request, const Respond& respond);

    // The push channel's "state" message of the unit, with `extra` added.
    std::string StateMessage(const nlohmann::ordered_json& extra = nlohmann::ordered_json::object()) const;
    // The unit in the list of units: name, device, link state, memories used.
    nlohmann::ordered_json Summary() const;
    const std::string& Name() const { return name_; }

private:
    using json = nlohmann::ordered_json;

    void Route(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond);
    void EditField(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond);
    void StoreMemory(const ApiRequest& request, int slot, const Respond& respond);
    void RecallMemory(int slot, const Respond& respond);
    void DeleteMemory(int slot, const Respond& respond);
    void UndoOrRedo(bool redo, const Respond& respond);
    // What answers with the whole state once the unit has acknowledged a change.
    std::function<void(int result)> StateOnceSettled(const Respond& respond);
    void AbRequest(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond);
    // The file's bytes, or its JSON form (memfile/MemoryFileJson.h).
    enum class FileForm { Bytes, Json };
    void DownloadMemoryFile(FileForm form, const Respond& respond);
    void UploadMemoryFile(const ApiRequest& request, FileForm form, const Respond& respond);
    void LogRequest(const ApiRequest& request, bool asText, const Respond& respond) const;
    void Report(const Respond& respond) const;
    void Service(const ApiRequest& request, const std::string& function, const Respond& respond);

    // Responds 503 with the reason and gives true unless the unit is connected.
    bool Unavailable(const Respond& respond) const;
    ApiResponse UnitFailure(const std::string& message) const;

    json LinkJson() const;
    json StateBody() const;
    json ChannelBody(int slot) const;
    json MemoriesBody() const;
    json HistoryBody() const;
    json HistoryStepsBody() const;
    json ResponseJson() const;
    std::string Message(const char* type, const json& body) const;
    void Announce(const char* type, const json& body);

    // The PEQ tuning (RemoteTuning.cpp): false when the path is none of its.
    bool RouteTuning(const ApiRequest& request, const std::vector<std::string>& path, const Respond& respond);
    void PutMeasurement(const ApiRequest& request, int slot, const Respond& respond);
    void DeleteMeasurement(int slot, const Respond& respond);
    // A channel's kept curve: {"channel", "hz", "db", "levels" (at the unit's steps)}.
    json KeptCurveJson(int slot) const;
    void FitChannel(const ApiRequest& request, int slot, const Respond& respond);
    void SetPeqBands(const ApiRequest& request, const std::string& channel, const Respond& respond);
    // A channel's measurement kept for the fit, and announced.
    void KeepMeasurement(int slot, LevelCurve measurement);

    RemoteUnit& unit_;
    PushHub& hub_;
    std::string name_;
    ReportMaker report_;
    SoundCardDesk& desk_;
    long seq_ = 0;
    std::array<std::optional<LevelCurve>, kChannelSlots> measurements_;
    FitWorker fits_;
};
