#include "measure/MeasurementRun.h"

#include <QtConcurrent>

#include "measure/WorkerMutes.h"

namespace {

QString StepText(const MeasureProgress& progress)
{
    const QString phase = QString::fromLatin1(PhaseName(progress.phase));
    if (!progress.output) return phase;
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(OutputName(*progress.output)), phase);
}

}  // namespace

MeasurementRun* MeasurementRun::Start(const MeasureSettings& settings)
{
    auto* run = new MeasurementRun;
    connect(&run->watcher_, &QFutureWatcher<MeasurementOutcome>::finished, run, [run] {
        emit run->finished(run->watcher_.result());
        run->deleteLater();
    });
    auto mutes = std::make_shared<WorkerMutes>();
    run->watcher_.setFuture(QtConcurrent::run([run, settings, mutes] { return run->Run(settings, *mutes); }));
    return run;
}

// On the pool's thread: the signals reach the GUI thread queued.
MeasurementOutcome MeasurementRun::Run(const MeasureSettings& settings, UnitMutes& mutes)
{
    MeasureCallbacks callbacks;
    callbacks.progress = [this](const MeasureProgress& progress) {
        emit progressed(progress.fraction, StepText(progress));
    };
    callbacks.inputLevel = [this](double dbfs) { emit inputLevel(dbfs); };
    MeasurementOutcome outcome;
    try {
        outcome.result = Measure(settings, &mutes, callbacks, cancel_);
        outcome.unrestored = QString::fromStdString(UnrestoredWarning(outcome.result->unrestored));
    } catch (const MeasureError& error) {
        outcome.error = QString::fromStdString(error.what());
        outcome.cancelled = error.kind() == MeasureError::Kind::Cancelled;
        outcome.unrestored = QString::fromStdString(UnrestoredWarning(error.unrestored()));
    } catch (const std::exception& error) {  // the analysis' own refusals
        outcome.error = QString::fromStdString(error.what());
    }
    return outcome;
}
