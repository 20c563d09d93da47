#include "UnitLog.h"

#include <boost/asio/post.hpp>

UnitLog::UnitLog(boost::asio::any_io_executor home, std::unique_ptr<TrafficObserver> also, std::size_t capacity)
    : home_(std::move(home)),
      also_(std::move(also)),
      capacity_(std::max<std::size_t>(capacity, 1)),
      alive_(std::make_shared<UnitLog*>(this))
{
}

// Runs on the home executor, as Deliver does: a delivery posted before
// finds the log gone.
UnitLog::~UnitLog() { *alive_ = nullptr; }

void UnitLog::OnTraffic(const TrafficEvent& event)
{
    if (also_) also_->OnTraffic(event);
    LogLine line;
    line.decoded = decoder_.Decode(event);
    line.timeMs = line.decoded.ms;
    line.text = FormatTrafficLine(line.decoded);
    const std::lock_guard lock(mutex_);
    line.seq = ++latest_;
    lines_.push_back(std::move(line));
    if (lines_.size() > capacity_) {
        lines_.pop_front();
        ++dropped_;
    }
    if (deliveryPosted_) return;
    deliveryPosted_ = true;
    boost::asio::post(home_, [alive = alive_] {
        if (*alive) (*alive)->Deliver();
    });
}

void UnitLog::Deliver()
{
    LogWindow fresh;
    {
        const std::lock_guard lock(mutex_);
        deliveryPosted_ = false;
    }
    fresh = After(delivered_);
    delivered_ = fresh.seq;
    if (onLines && !fresh.lines.empty()) onLines(fresh.lines);
}

LogWindow UnitLog::After(long seq) const
{
    const std::lock_guard lock(mutex_);
    LogWindow window{latest_, dropped_, {}};
    for (const LogLine& line : lines_)
        if (line.seq > seq) window.lines.push_back(line);
    return window;
}

std::string LogText(const LogWindow& window)
{
    std::string text;
    if (window.dropped > 0) {
        text += '(';
        text += std::to_string(window.dropped);
        text += " earlier lines dropped)\n";
    }
    for (const LogLine& line : window.lines) text += line.text + '\n';
    return text;
}
