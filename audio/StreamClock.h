// Finds the gaps of a stream whose library does not flag them. RtAudio's
// PulseAudio backend never sets its under- and overflow flags: when the
// audio thread falls behind, the server plays silence and the stream goes on
// later than it should, without a word. The frames handed over then stay
// behind the wall clock for good; a late callback that catches up again (the
// server's buffer covered it) lost nothing.
//
// So the watch compares the frames handed over with the time passed: the
// least shortfall over each quarter of a second is the stream's steady lag,
// and a lag that grows by more than the tolerance and holds for two quarters
// in a row is one gap.
#pragma once

#include <cstdint>

class StreamClock {
public:
    StreamClock(int rate, double toleranceSeconds = 0.02);

    // At each callback: the seconds since the stream started and the frames
    // handed over before this callback.
    void Note(double seconds, std::int64_t frames);

    long Gaps() const { return gaps_; }

private:
    void CloseWindow();

    double rate_;
    double tolerance_;
    double steadyLag_ = 0;
    bool haveSteadyLag_ = false;
    double windowEnd_ = kWindowSeconds;
    double windowLeast_ = 0;
    bool windowEmpty_ = true;
    bool suspect_ = false;
    long gaps_ = 0;
    static constexpr double kWindowSeconds = 0.25;
};
