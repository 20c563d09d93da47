// The serving machine's sound card, shared by every unit served: the
// requests that measure through it, one job at a time across the server,
// each on a thread of its own (never the io thread, which serves every
// client meanwhile).
//
//   POST   /api/measure          {"outputs", "levelDbfs", "loud", "micChannel", "loopbackChannel",
//                                "lengthS", "rate", "play", "record"}, each optional (the defaults
//                                of quenbar-cli measure), and "positions" (its range in MeasureSettings.h): answered once
//                                every position is measured, with the result of GET; 409 while a
//                                job runs, 503 without the unit
//   POST   /api/measure/next     {"again"} (optional, false): between positions, measures the next
//                                one, or with "again": true the one just measured in its place
//                                (409 while no position is awaited, and for "again" before a
//                                tuning's verifying round, where nothing is measured yet); a
//                                tuning pass's positions too
//   POST   /api/measure/cancel   ends the job under way at its next step, a tuning pass's too
//                                (409 without one)
//   GET    /api/measure          {"running", "job", "unit", "progress", "last", "limits"}: the job
//                                under way, the outcome of the last one, and the ranges and
//                                defaults of "lengthS" and "levelDbfs" ({"min", "max", "value"})
//   POST   /api/tune             the measure body without "outputs" (all four are measured; the
//                                positions wait between them as a measurement's), and
//                                "subOffsetDb", "maxRiseDb", "target" (a target curve as text):
//                                the proposal (session/TuneJson.h) with "measured", the sequence
//                                as POST /api/measure answers it, its words ("region"; "texts":
//                                [{"part", "name", "proposal", "effect", "note", "applicable"}];
//                                "positionSums", the sum at each position, empty for one)
//                                and "shortfalls"; nothing on the unit changes but the sequence's
//                                mutes, put back
//   POST   /api/tune/apply       {"parts": {"alignment", "levels", "peqLr", "peqSub"}} (each true
//                                unless false): the last proposal's parts applied as ONE step of
//                                the history, then measured again: {"verify", "after", "passes",
//                                "checks" and "findings" (its words; "positionFindings", each
//                                position's, empty for one), "shortfalls"}; of several positions
//                                the person is awaited at the first before anything is applied
//                                (a push "waiting" with "position" 0); 409 without a proposal
//                                for the unit
//
// While a job runs its progress and the microphone's level go to every push
// client: {"type": "measure", "unit", "job", "stage" (a tuning pass's), "phase", "output",
// "fraction"} and
// {"type": "level", "unit", "dbfs"} (at most 20 a second); between positions
// {"type": "measure", "unit", "job", "phase": "waiting", "position" (the one just measured; 0
// before a tuning's verifying round, "measured" and "average" then the last round's),
// "positions", "next" (null after the last), "measured" (that position as POST /api/measure
// answers one), "average" (per output over the positions so far: {"output", "verdict",
// "verdictText", "hz", "db", "spreadDb"})}; its end is
// {"type": "measure", "unit", "job", "phase": "done", "outcome"}.
//
// The live watch (WatchDesk.h), on the same sound card and never beside a job:
//
//   POST   /api/watch            {"micChannel", "referenceChannel", "rate", "averageS", "record",
//                                "against" (a measurement's text to compare with)}, each optional
//                                (the defaults of quenbar-cli watch; the ranges in WatchSettings.h):
//                                answered once the stream runs, with the result of GET; 409 while a
//                                job or the watch runs, 500 when the sound card cannot be had
//   POST   /api/watch/stop       ends it (409 while none runs)
//   POST   /api/watch/keep       {"against"} (optional): the live trace's coherent points kept as
//                                the trace to compare with, or the text given (409 while none runs)
//   POST   /api/watch/propose    {"output": "lr" or "sub"}: that output's PEQ fitted on the last
//                                look where it is coherent, toward the trace compared with, else
//                                flat (watch/LiveProposal.h): {"output", "label", "towardStored",
//                                "bands" ([{"flat", "freq", "gain", "bandwidth", "shelf", "text"}]),
//                                "rmsNowDb", "rmsPredictedDb", "text" (its words), and at the
//                                unit's steps of the fit's range "hz", "measured", "predicted",
//                                "target"}; nothing on the unit changes. 409 with the reason when
//                                too little of the curve is coherent, or while none runs
//   POST   /api/watch/apply      the unit's last proposal as ONE step of the history, named by its
//                                "label" and marked on the time line as every edit: {"applied"};
//                                409 without one, or when the unit's setting changed since
//   GET    /api/watch            {"running", "settings", "limits" ({"min", "max", "value"} of each
//                                setting), "trustedCoherence", "stored" (the trace compared with
//                                at the live points, {"hz", "db"}, or null), "edits" ([{"t",
//                                "what"}] marked so far), "error" (why the last one ended by
//                                itself, or null)}
//
// While it runs every push client gets, several times a second, the look
// {"type": "watch", "t", "delayMs", "hz", "db", "phaseDeg", "coherence", "known", "alarms",
// "status" (a line of words)} (watch/WatchJson.h); each edit made through the API is marked on its time
// line (named "<unit>: <step>" while several units are served), the alarms after it naming it,
// and said as {"type": "watchEdit",
// "unit", "t", "what"}; its start, its end and a trace kept as {"type": "watchState"} with the
// result of GET.
//
// The Windows build measures as the Linux one does (WASAPI, DirectSound).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/any_io_executor.hpp>

#include "ApiTypes.h"
#include "tuning/LevelCurveFile.h"

class PushHub;
class RemoteUnit;

// The unit a job is for, and where its results go (on the io thread).
struct DeskUnit {
    RemoteUnit& unit;
    std::string name;
    // The channel's measurement for the PEQ fit (kSlotLeftRight, kSlotSub).
    std::function<void(int slot, LevelCurve measurement)> keep;
};

class SoundCardDesk {
public:
    using Respond = std::function<void(ApiResponse)>;

    virtual ~SoundCardDesk() = default;
    // A request under /api/ for `unit`: false when the path is none of the desk's.
    virtual bool Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
                       const Respond& respond) = 0;
    // Whether a job for `unit` is under way (the unit must stay until it ends).
    virtual bool Busy(const RemoteUnit& unit) const = 0;
    // Cancels the job under way; `done` runs on the io thread once it ended
    // (its mutes put back), at once without one.
    virtual void Stop(std::function<void()> done) = 0;
    // The unit's history changed (an edit, a recall, an undo, ...; `name` is the unit's): a desk
    // that watches marks the edit it made.
    virtual void HistoryChanged(const RemoteUnit& unit, const std::string& name) = 0;
    // How many units are served now (told at each change): a desk that
    // marks edits names the unit of each while there are several.
    virtual void UnitsServed(std::size_t /*count*/) {}
};

// The desk of this build; its jobs' outcomes are handed back on `io`.
std::unique_ptr<SoundCardDesk> MakeSoundCardDesk(boost::asio::any_io_executor io, PushHub& hub);
