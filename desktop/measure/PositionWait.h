// The person's answer between two microphone positions, handed from the
// window (GUI thread) to the measurement's thread, which waits for it while
// the person walks. A cancel stays: a wait that begins after it ends at once.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "PositionsMeasurement.h"

class PositionWait {
public:
    // On the measurement's thread: blocks until an answer comes.
    PositionChoice Await();
    // On any thread: the answer to the wait now running or the next one.
    void Answer(PositionChoice choice);

private:
    std::mutex mutex_;
    std::condition_variable answered_;
    std::optional<PositionChoice> choice_;
    bool cancelled_ = false;
};
