// The PEQ fits the remote is asked for, run on a thread of their own: a fit
// takes a good part of a second, which the io thread spends serving every
// client meanwhile. One fit runs at a time; one asked for while another
// runs waits its turn (there are at most as many as connections waiting
// for their answer). The outcome is handed back on the io thread.
//
// Destroying the worker lets the fit under way end and drops those waiting;
// it must go before the io context their outcomes are posted to.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/thread_pool.hpp>

#include "tuning/PeqFit.h"

// What a fit came to. What it threw is told by its text: the exception
// itself stays on the worker's thread.
struct FitOutcome {
    std::optional<FitResult> result;  // empty when the fit threw
    bool refused = false;             // it refused the measurement or the options (else it failed)
    std::string reason;
};

class FitWorker {
public:
    // The fit that is run: the core's (tests slow it down).
    using Fit = std::function<FitResult(const LevelCurve&, const FitOptions&)>;
    using Done = std::function<void(FitOutcome outcome)>;

    FitWorker(boost::asio::any_io_executor home, Fit fit);
    ~FitWorker();
    FitWorker(const FitWorker&) = delete;
    FitWorker& operator=(const FitWorker&) = delete;

    // Fits on the worker's thread; `done` runs on the home executor.
    void Run(LevelCurve measurement, FitOptions options, Done done);

private:
    boost::asio::any_io_executor home_;
    Fit fit_;
    boost::asio::thread_pool thread_{1};
};
