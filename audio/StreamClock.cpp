#include "StreamClock.h"

#include <algorithm>

StreamClock::StreamClock(int rate, double toleranceSeconds) : rate_(rate), tolerance_(toleranceSeconds) {}

void StreamClock::Note(double seconds, std::int64_t frames)
{
    while (seconds >= windowEnd_) CloseWindow();
    const double lag = seconds - static_cast<double>(frames) / rate_;
    windowLeast_ = windowEmpty_ ? lag : std::min(windowLeast_, lag);
    windowEmpty_ = false;
}

void StreamClock::CloseWindow()
{
    windowEnd_ += kWindowSeconds;
    if (windowEmpty_) return;  // no callback at all: judged by the windows after it
    windowEmpty_ = true;
    if (!haveSteadyLag_) {
        steadyLag_ = windowLeast_;
        haveSteadyLag_ = true;
        return;
    }
    if (windowLeast_ <= steadyLag_ + tolerance_) {
        steadyLag_ = std::min(steadyLag_, windowLeast_);
        suspect_ = false;
        return;
    }
    if (!suspect_) {
        suspect_ = true;
        return;
    }
    ++gaps_;
    suspect_ = false;
    steadyLag_ = windowLeast_;
}
