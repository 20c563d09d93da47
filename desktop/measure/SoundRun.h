// Work with the sound card and the unit (a measurement sequence, a tuning's
// steps) on a thread of the pool, so that the window that started it keeps
// painting and answering: the progress of its sequences and the
// microphone's level come back as queued signals, its outcome to the
// window's function on the GUI thread. Between microphone positions the
// work waits for the person: the window is told (personAwaited) and
// answers (Answer) without blocking. The run deletes itself once its
// thread is done, so a window closed meanwhile only cancels it; the work
// still puts the unit's mutes back.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent>

#include <atomic>
#include <functional>
#include <optional>

#include "Measurement.h"
#include "PositionsMeasurement.h"
#include "measure/PositionWait.h"

// Why work gave no outcome, and loudly the mutes the unit did not take back.
struct RunFailure {
    QString error;
    bool cancelled = false;
    QString unrestored;  // UnrestoredWarning, empty when every mute is back
};

// What `work` gives; empty, with `failure` filled, when it throws (a
// MeasureError, or the analysis' own refusals).
template <class Work>
auto Guarded(Work&& work, RunFailure& failure) -> std::optional<decltype(work())>
{
    try {
        return work();
    } catch (const MeasureError& error) {
        failure.error = QString::fromStdString(error.what());
        failure.cancelled = error.kind() == MeasureError::Kind::Cancelled;
        failure.unrestored = QString::fromStdString(UnrestoredWarning(error.unrestored()));
    } catch (const std::exception& error) {
        failure.error = QString::fromStdString(error.what());
    }
    return std::nullopt;
}

// What a run's work is handed besides its sequences' callbacks: the wait
// for the person between positions.
struct RunCallbacks : MeasureCallbacks {
    AwaitPerson await;
};

// Where a measurement of several positions waits, as the window shows it:
// after `measured` of `count` positions, the one just measured, and the
// averages over those measured so far.
struct PositionShown {
    int measured = 1;
    int count = 1;
    MeasurementResult result;
    std::vector<OutputAverage> averages;
};

class SoundRun : public QObject {
    Q_OBJECT
public:
    // `work` runs on the pool with the callbacks of its sequences and the
    // flag that cancels them; `ended` gets its outcome in `receiver`'s
    // thread, unless `receiver` is gone by then. `wire` connects the run's
    // signals before the work starts: one sent before would reach no one
    // (a wait for the person whose box never opens).
    template <class Outcome>
    static SoundRun* Start(std::function<Outcome(const RunCallbacks&, const std::atomic<bool>& cancel)> work,
                           QObject* receiver, std::function<void(const Outcome&)> ended,
                           const std::function<void(SoundRun*)>& wire);

    // Ends the sequence at its next step, or the wait for the person at
    // once; the outcome still comes.
    void Cancel();
    // The person's answer to personAwaited.
    void Answer(PositionChoice choice) { wait_.Answer(choice); }

signals:
    // "left: sweep", and the fraction of the whole sequence.
    void progressed(double fraction, const QString& step);
    void inputLevel(double dbfs);
    // The work waits for the person's Answer.
    void personAwaited(const PositionShown& pause);

private:
    SoundRun() = default;
    // Emit the signals above from the pool's thread (they reach the GUI thread queued).
    RunCallbacks Callbacks();

    std::atomic<bool> cancel_{false};
    PositionWait wait_;
};

template <class Outcome>
SoundRun* SoundRun::Start(std::function<Outcome(const RunCallbacks&, const std::atomic<bool>& cancel)> work,
                          QObject* receiver, std::function<void(const Outcome&)> ended,
                          const std::function<void(SoundRun*)>& wire)
{
    auto* run = new SoundRun;
    auto* watcher = new QFutureWatcher<Outcome>(run);
    connect(watcher, &QFutureWatcherBase::finished, receiver, [watcher, ended] { ended(watcher->result()); });
    connect(watcher, &QFutureWatcherBase::finished, run, &QObject::deleteLater);
    wire(run);
    watcher->setFuture(QtConcurrent::run(
        [work = std::move(work), callbacks = run->Callbacks(), run] { return work(callbacks, run->cancel_); }));
    return run;
}
