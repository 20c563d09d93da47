// The sound card's desk where the measurement is built (SoundCardDesk.h
// lists its requests): the job under way (a measurement, or either half of
// a tuning pass), its push messages, the outcome of the last one and the
// tuning proposal waiting to be applied. It has the sound card (its claim)
// while a job runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include <boost/asio/thread_pool.hpp>
#include <nlohmann/json.hpp>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "SoundCardClaim.h"
#include "SoundCardDesk.h"
#include "TunePass.h"

class MeasuringDesk : public SoundCardDesk {
public:
    MeasuringDesk(boost::asio::any_io_executor io, PushHub& hub, SoundCardClaim& claim);
    // Cancels the job under way and waits for its thread (the mutes put back).
    ~MeasuringDesk() override;

    bool Route(const DeskUnit& unit, const ApiRequest& request, const std::vector<std::string>& path,
               const Respond& respond) override;
    bool Busy(const RemoteUnit& unit) const override { return running_ && running_->unit == &unit; }
    void Stop(std::function<void()> done) override;
    void HistoryChanged(const RemoteUnit&, const std::string&) override {}

private:
    using json = nlohmann::ordered_json;

    // What a job came to: the status and body of its answer.
    struct Outcome {
        int status = 200;
        json body;
    };
    // Runs on the job's thread; its callbacks push the progress.
    using Work = std::function<Outcome(const TuneCallbacks& callbacks, const std::atomic<bool>& cancel)>;

    struct Running {
        const RemoteUnit* unit;
        std::string name;
        std::string job;
        json progress;
        bool awaiting = false;  // a position measured, the next not asked for yet
    };

    void Measure(const DeskUnit& unit, const ApiRequest& request, const Respond& respond);
    void Propose(const DeskUnit& unit, const ApiRequest& request, const Respond& respond);
    void ApplyProposal(const DeskUnit& unit, const ApiRequest& request, const Respond& respond);
    void Cancel(const Respond& respond);
    // POST /api/measure/next: the person's choice for the position awaited.
    void Next(const ApiRequest& request, const Respond& respond);
    // On the job's thread: says a position is done (or, before a tuning's
    // verifying round, that the first is awaited), then waits for Next or a cancel.
    PositionChoice AwaitPerson(const std::string& unit, const std::string& job, const PositionPause& pause);
    // After a cancel: a job waiting for the person hears it.
    void WakeTheWait();
    // 409 while the sound card is had (a job, the live watch), 503 without the unit.
    bool Refused(const DeskUnit& unit, const Respond& respond) const;
    // Runs `work` on the job's thread, then `finish` on the io thread.
    void Run(const DeskUnit& unit, const char* job, Work work, std::function<void(Outcome)> finish);
    TuneCallbacks Callbacks(const std::string& unit, const std::string& job);
    void Finished(Outcome outcome);
    json State() const;

    boost::asio::any_io_executor io_;
    PushHub& hub_;
    SoundCardClaim& claim_;
    std::atomic<bool> cancel_{false};
    std::optional<Running> running_;
    json last_;  // null before the first job
    // The last tuning proposal and the unit it is for, until it is applied.
    std::shared_ptr<const TuneStart> proposal_;
    std::uint64_t proposalUnit_ = 0;  // its Identity()
    std::vector<std::function<void()>> stopped_;
    // The person's choice between positions, handed from the io thread to the job's.
    std::mutex choiceMutex_;
    std::condition_variable choiceMade_;
    std::optional<PositionChoice> choice_;
    boost::asio::thread_pool thread_{1};
};
