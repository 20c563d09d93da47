#include "FitWorker.h"

#include <boost/asio/post.hpp>

FitWorker::FitWorker(boost::asio::any_io_executor home, Fit fit) : home_(std::move(home)), fit_(std::move(fit)) {}

FitWorker::~FitWorker()
{
    // What has not started is dropped; the fit under way ends first.
    thread_.stop();
    thread_.join();
}

void FitWorker::Run(Measurement measurement, FitOptions options, Done done)
{
    boost::asio::post(thread_, [this, measurement = std::move(measurement), options = std::move(options),
                                done = std::move(done)]() mutable {
        std::exception_ptr error;
        FitResult result;
        try {
            result = fit_(measurement, options);
        } catch (...) {
            error = std::current_exception();
        }
        boost::asio::post(home_, [done = std::move(done), error, result = std::move(result)]() mutable {
            done(error, std::move(result));
        });
    });
}
