// Scroll notifications of the editors' bars, and how the PEQ and crossover
// dialogs thin out the messages they cause: line steps and thumb tracking
// send on every 15th event only, thumb release and end of scroll at once.
#pragma once

#include <chrono>

enum class ScrollCode {
    LineBack,     // one step towards the start (left, or up on a vertical bar)
    LineForward,  // one step towards the end
    PageBack,
    PageForward,
    ThumbTrack,    // the thumb is being dragged
    ThumbRelease,  // the thumb was let go
    ToStart,       // Home
    ToEnd,         // End
    EndScroll,     // the mouse button or key that scrolled was released
};

// The step a notification moves a value by when the thumb does not give
// the position: -1, +1, -5, +5, 0 (end of scroll); ToStart and ToEnd move
// by -5 and +1, not to the ends.
int ScrollStep(ScrollCode code);

// True for the codes that count towards the 15th-event send.
bool IsCountedScroll(ScrollCode code);

// The send decision: counted events send on every 15th, thumb release and
// end of scroll send at once and start the count again, others never send.
class SendThinner {
public:
    static constexpr int kEveryNth = 15;
    bool ShouldSend(ScrollCode code);

private:
    int count_ = 0;
};

// A PEQ gain change that counted events made but did not send: the dialog's
// 100 ms timer sends it once more than 500 ms have passed since the last one.
// Time is measured on a monotonic clock, so a change is never stranded when
// the wall clock passes midnight or is set back.
class PendingGainSend {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kQuietTime{500};

    void Note(Clock::time_point now);   // a counted gain event
    void Clear() { pending_ = false; }  // sent by the 15th counted event
    bool pending() const { return pending_; }
    // True (and no longer pending) when the timer should send now.
    bool TakeIfDue(Clock::time_point now);

private:
    bool pending_ = false;
    Clock::time_point last_{};
};
