#include "FitWorker.h"

#include <stdexcept>

#include <boost/asio/post.hpp>

#include "tuning/TuningText.h"

namespace {

FitOutcome Outcome(const FitWorker::Fit& fit, const LevelCurve& measurement, const FitOptions& options)
{
    FitOutcome outcome;
    try {
        outcome.result = fit(measurement, options);
    } catch (const std::invalid_argument& refused) {
        outcome = {std::nullopt, true, refused.what()};
    } catch (const TuningFileError& refused) {
        outcome = {std::nullopt, true, refused.what()};
    } catch (const std::exception& failure) {
        outcome = {std::nullopt, false, failure.what()};
    }
    return outcome;
}

}  // namespace

FitWorker::FitWorker(boost::asio::any_io_executor home, Fit fit) : home_(std::move(home)), fit_(std::move(fit)) {}

FitWorker::~FitWorker()
{
    // What has not started is dropped; the fit under way ends first.
    thread_.stop();
    thread_.join();
}

void FitWorker::Run(LevelCurve measurement, FitOptions options, Done done)
{
    boost::asio::post(thread_, [this, measurement = std::move(measurement), options = std::move(options),
                                done = std::move(done)]() mutable {
        FitOutcome outcome = Outcome(fit_, measurement, options);
        boost::asio::post(
            home_, [done = std::move(done), outcome = std::move(outcome)]() mutable { done(std::move(outcome)); });
    });
}
