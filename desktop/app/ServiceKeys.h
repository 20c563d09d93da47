// The About box's hidden service functions are armed by letter sequences
// typed with Control held. The recogniser's progress lives for the whole
// run, so a sequence may be typed across several openings of the box.
#pragma once

enum class ServiceFunction { None, Reset, Logo };

inline constexpr char kResetSequence[] = "RTRST";
inline constexpr char kLogoSequence[] = "LOGO";

class ServiceKeyRecogniser {
public:
    // Feeds one key press (a Qt key code; letters are their upper-case
    // code). Keys without Control, and the modifier keys themselves (the
    // Control key's own press and its auto-repeat while it is held), leave
    // the progress alone. Returns the function whose sequence this key
    // completed, if any.
    ServiceFunction Feed(int key, bool controlHeld);

    // 0 when idle; otherwise which sequence is in progress and how far.
    int State() const { return state_; }

private:
    int state_ = 0;
};

// The recogniser of this process.
ServiceKeyRecogniser& ProcessServiceKeys();
