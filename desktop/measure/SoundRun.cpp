#include "measure/SoundRun.h"

namespace {

QString StepText(const MeasureProgress& progress)
{
    const QString phase = QString::fromLatin1(PhaseName(progress.phase));
    if (!progress.output) return phase;
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(OutputName(*progress.output)), phase);
}

}  // namespace

void SoundRun::Cancel()
{
    cancel_ = true;
    wait_.Answer(PositionChoice::Cancel);
}

RunCallbacks SoundRun::Callbacks()
{
    RunCallbacks callbacks;
    callbacks.progress = [this](const MeasureProgress& progress) {
        emit progressed(progress.fraction, StepText(progress));
    };
    callbacks.inputLevel = [this](double dbfs) { emit inputLevel(dbfs); };
    callbacks.await = [this](const PositionPause& pause) {
        emit personAwaited({pause.measured, pause.count, pause.result, pause.averages});
        return wait_.Await();
    };
    return callbacks;
}
