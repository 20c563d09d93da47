// A unit's communication log as the server keeps it: every event of its
// link decoded (TrafficDecoder, as the desktop's Communication Log and
// --trace show it) into a window of the latest lines; older lines are
// dropped and counted. Each line has a number of its own, so a client asks
// for what came after the last line it has.
//
// The link reports from its worker and receive threads; the window may be
// read from any thread. The lines that came since the last delivery are
// handed to onLines on the home executor (the io thread), a batch at a time.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/any_io_executor.hpp>

#include "link/LinkTraffic.h"
#include "link/TrafficDecoder.h"

struct LogLine {
    long seq = 0;          // 1 for the unit's first line
    long long timeMs = 0;  // since the link's first event
    TrafficLine decoded;
    std::string text;  // as --trace prints it
};

struct LogWindow {
    long seq = 0;      // of the latest line, 0 before the first
    long dropped = 0;  // lines that left the window
    std::vector<LogLine> lines;
};

class UnitLog final : public TrafficObserver {
public:
    static constexpr std::size_t kDefaultCapacity = 2000;

    // `also` (may be null) is told every event as well: the --trace.
    UnitLog(boost::asio::any_io_executor home, std::unique_ptr<TrafficObserver> also,
            std::size_t capacity = kDefaultCapacity);
    ~UnitLog() override;
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    // The lines still in the window after line `seq`.
    LogWindow After(long seq) const;

    // Set on the home executor; called there with each batch of new lines.
    std::function<void(const std::vector<LogLine>&)> onLines;

private:
    void OnTraffic(const TrafficEvent& event) override;
    void Deliver();

    boost::asio::any_io_executor home_;
    std::unique_ptr<TrafficObserver> also_;
    std::size_t capacity_;
    TrafficDecoder decoder_;  // only OnTraffic's, whose calls never overlap
    // What Deliver posts checks that the log still lives.
    std::shared_ptr<UnitLog*> alive_;

    mutable std::mutex mutex_;
    std::deque<LogLine> lines_;
    long latest_ = 0;
    long dropped_ = 0;
    long delivered_ = 0;
    bool deliveryPosted_ = false;
};

// The window as one text line each (the download).
std::string LogText(const LogWindow& window);
