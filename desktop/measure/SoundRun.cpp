#include "measure/SoundRun.h"

namespace {

QString StepText(const MeasureProgress& progress)
{
    const QString phase = QString::fromLatin1(PhaseName(progress.phase));
    if (!progress.output) return phase;
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(OutputName(*progress.output)), phase);
}

}  // namespace

MeasureCallbacks SoundRun::Callbacks()
{
    MeasureCallbacks callbacks;
    callbacks.progress = [this](const MeasureProgress& progress) {
        emit progressed(progress.fraction, StepText(progress));
    };
    callbacks.inputLevel = [this](double dbfs) { emit inputLevel(dbfs); };
    return callbacks;
}
