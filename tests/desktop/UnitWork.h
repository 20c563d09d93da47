// Test helpers for the unit's work off the GUI thread: wait for it to end,
// find and press the Cancel of its progress window, and measure how long the
// event loop was held up meanwhile.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <chrono>

#include "app/UnitLink.h"
#include "app/UnitTasks.h"

// Lets the unit's work run to its end, the part the GUI thread does after it
// (the results taken into the windows' model, the result boxes, which the
// test's answerer closes) included. The event loop runs meanwhile.
inline void WaitForUnit()
{
    while (UnitTasks().Busy()) QTest::qWait(1);
    UnitWorker().WaitIdle();  // parameter messages, which have no part on the GUI thread
}

// The progress window on show, or nullptr.
inline QProgressDialog* ShownProgress()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<QProgressDialog*>(window); progress && progress->isVisible()) return progress;
    return nullptr;
}

// Clicks Cancel in the progress window: the milliseconds until the
// operation ended (its window gone). Then waits for what follows it.
inline double CancelAndWait(QProgressDialog* progress)
{
    const QPointer<QProgressDialog> shown(progress);
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    while (shown) QTest::qWait(1);
    const double endedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    WaitForUnit();
    return endedMs;
}

// From now until the operation under way ends, a 10 ms timer notes how late
// it fires: the longest time the event loop was held up while the unit was
// waited for. (The windows' own work before and after, such as the result
// box, is not waiting.)
// A wait for the unit lasts up to a second; a loaded machine's event loop may
// run tens of milliseconds late on its own, so only a quarter of that wait
// counts as the window being held up by it.
inline constexpr double kHeldUpMs = 250;

class LatenessProbe : public QObject {
public:
    LatenessProbe()
    {
        connect(&UnitTasks(), &UnitTaskRunner::busyChanged, this, [this](bool busy) {
            if (!busy) timer_.stop();
        });
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const auto now = std::chrono::steady_clock::now();
            const double gapMs = std::chrono::duration<double, std::milli>(now - last_).count();
            maxLateMs_ = std::max(maxLateMs_, gapMs - kPeriodMs);
            last_ = now;
        });
        timer_.start(kPeriodMs);
    }
    double MaxLateMs() const { return maxLateMs_; }

private:
    static constexpr int kPeriodMs = 10;
    QTimer timer_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    double maxLateMs_ = 0;
};
