// The sound card's desk of this build: the live watch, and beside it the
// measuring desk's jobs, one of them at a time (SoundCardDesk.h lists the
// requests). The watch runs on a thread of its own, looking several times
// a second; every look, every edit marked on it and its start and end go
// to every push client. An edit made through the API (a unit's new step of
// the history, an undo, a redo) is marked with the step's words, so that an
// alarm after it names it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <boost/asio/thread_pool.hpp>
#include <nlohmann/json.hpp>

#include "LiveProposal.h"
#include "LiveWatch.h"
#include "MeasuringDesk.h"
#include "SoundCardClaim.h"

class WatchDesk : public SoundCardDesk {
public:
    WatchDesk(boost::asio::any_io_executor io, PushHub& hub);
    // Ends the watch and waits for its thread.
    ~WatchDesk() override;

    bool Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
               const Respond& respond) override;
    bool Busy(const RemoteUnit& unit) const override { return measuring_.Busy(unit); }
    // Ends the watch, then the measuring desk's job.
    void Stop(std::function<void()> done) override;
    void HistoryChanged(const RemoteUnit& unit, const std::string& name) override;
    void UnitsServed(std::size_t count) override { unitsServed_ = count; }

    // Where a unit's history stood when it last changed.
    struct HistoryGlance {
        std::size_t undo = 0;
        std::size_t redo = 0;
        std::string newest;  // the label of the step an undo would take back
        std::string next;    // the label of the step a redo would make again
    };

private:
    using json = nlohmann::ordered_json;

    void Start(const ApiRequest& request, const Respond& respond);
    void End(const Respond& respond);
    void Keep(const ApiRequest& request, const Respond& respond);
    // The PEQ fit on the last look runs on a thread of its own (a fit takes a
    // good part of a second); the proposal is kept for the unit it was made for.
    void Propose(const DeskUnit& unit, const ApiRequest& request, const Respond& respond);
    void ApplyProposal(const DeskUnit& unit, const Respond& respond);
    // On the watch's thread until it is told to stop or its stream fails.
    void Watch(const std::shared_ptr<LiveWatch>& watch);
    // On the io thread: a look pushed, the end said.
    void TakeLook(WatchLook look);
    void Ended(const std::string& error);
    // {"type": "watchState"} and State() to every push client.
    void Announce();
    json State() const;

    boost::asio::any_io_executor io_;
    PushHub& hub_;
    SoundCardClaim claim_;
    MeasuringDesk measuring_;

    // The io thread's: the watch from its start to its end.
    bool running_ = false;
    WatchSettings settings_;
    std::shared_ptr<LiveWatch> watch_;  // once its stream runs
    std::optional<WatchLook> last_;
    std::vector<WatchEdit> edits_;
    std::optional<LevelCurve> stored_;  // the trace compared with
    std::string error_;  // why the last one ended by itself
    std::vector<std::function<void()>> stopped_;
    std::map<std::uint64_t, HistoryGlance> glances_;  // by the unit's Identity()
    std::size_t unitsServed_ = 1;
    std::map<std::uint64_t, LiveProposal> proposals_;  // the last one for each unit, by its Identity()

    std::atomic<bool> stop_{false};
    // A trace to compare with, for the watch's thread to take before its next look.
    std::mutex storedMutex_;
    std::optional<std::optional<LevelCurve>> nextStored_;
    boost::asio::thread_pool thread_{1};
    boost::asio::thread_pool fitThread_{1};
};
