// One measurement sequence on a thread of the pool, so that the window that
// started it keeps painting and answering: its progress and the
// microphone's level come back as queued signals, its end as finished().
// The run deletes itself once its thread is done, so a window closed
// meanwhile only cancels it; the sequence still puts the mutes back.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <optional>

#include "Measurement.h"

// How a measurement ended: its result, or why there is none; and loudly,
// the mutes the unit did not take back.
struct MeasurementOutcome {
    std::optional<MeasurementResult> result;
    QString error;
    bool cancelled = false;
    QString unrestored;  // UnrestoredWarning, empty when every mute is back
};

class MeasurementRun : public QObject {
    Q_OBJECT
public:
    // Starts the sequence with the unit's mutes through the desktop's link
    // (WorkerMutes.h).
    static MeasurementRun* Start(const MeasureSettings& settings);

    // Ends the sequence at its next step; it still ends through finished().
    void Cancel() { cancel_ = true; }

signals:
    // "left: sweep", and the fraction of the whole sequence.
    void progressed(double fraction, const QString& step);
    void inputLevel(double dbfs);
    void finished(const MeasurementOutcome& outcome);

private:
    MeasurementRun() = default;
    MeasurementOutcome Run(const MeasureSettings& settings, UnitMutes& mutes);

    std::atomic<bool> cancel_{false};
    QFutureWatcher<MeasurementOutcome> watcher_;
};
