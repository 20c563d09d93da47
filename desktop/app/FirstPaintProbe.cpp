#include "app/FirstPaintProbe.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!reported_ && event->type() == QEvent::Paint && qobject_cast<QMainWindow*>(watched) != nullptr) {
            reported_ = true;
            // Runs once the paint event has been handled, i.e. the window is painted.
            QTimer::singleShot(0, [] {
                std::puts("first paint");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool reported_ = false;
};

}  // namespace

void InstallFirstPaintProbe(QApplication& application)
{
    if (std::getenv("QUENBAR_EXIT_AFTER_FIRST_PAINT") == nullptr) return;
    application.installEventFilter(new FirstPaintProbe(&application));
}
