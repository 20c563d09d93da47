#include "ports/UnitFinder.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <thread>

std::vector<ProbeResult> ProbeWithProgress(QWidget* parent, const std::vector<std::string>& devices)
{
    QProgressDialog progress(QStringLiteral("Looking for the unit on %1 devices...").arg(devices.size()), QString(), 0,
                             static_cast<int>(devices.size()), parent);
    progress.setWindowTitle(QStringLiteral("Find unit"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);

    QEventLoop loop;
    int done = 0;
    std::vector<ProbeResult> results;
    std::thread probe([&] {
        results = ProbeDevices(devices, [&](const ProbeResult&) {
            QMetaObject::invokeMethod(
                &progress, [&] { progress.setValue(++done); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    probe.join();
    return results;
}
