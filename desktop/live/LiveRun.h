// The live watch (watch/LiveWatch.h) on a thread of its own, so that its
// analysis never holds up the window: it looks at the stream several times
// a second and hands each look to the GUI thread (looked, queued). The
// edits and the stored trace reach it from the GUI thread.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "LiveWatch.h"

// How often the watch looks: more than five times a second, with room for
// a look that takes a while on a busy machine.
inline constexpr int kLookEveryMs = 150;

class LiveRun : public QObject {
    Q_OBJECT
public:
    // Starts the stream and the thread. Throws std::invalid_argument and
    // AudioError as LiveWatch does.
    explicit LiveRun(const WatchSettings& settings);
    // Stops the thread and the stream; the thread's current look ends first.
    ~LiveRun() override;

    void MarkEdit(const std::string& what) { watch_.MarkEdit(what); }
    // Compared against from the next look on; nothing: no comparison.
    void SetStored(const std::optional<LevelCurve>& stored);

signals:
    void looked(const WatchLook& look);
    // The stream failed or stalled: the thread has ended.
    void failed(const QString& why);

private:
    void Loop();
    // Waits until the next look is due or the run stops; false when it stops.
    bool AwaitNextLook(std::chrono::steady_clock::time_point due);

    LiveWatch watch_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<std::optional<LevelCurve>> storedToSet_;  // for the thread to hand to the watch
    std::thread thread_;  // last: it starts once everything above is made
};
