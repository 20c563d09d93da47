// A sound run's signals reach the window that started it, however soon the
// work sends them.
#include <QtTest>

#include <chrono>
#include <optional>
#include <thread>

#include "measure/SoundRun.h"
#include "tests/desktop/app/DesktopTest.h"

class SoundRunTest : public QObject {
    Q_OBJECT
private slots:
    // A tuning's verification waits for the person before anything else:
    // the wait comes at once, before a window slowed by its own events has
    // wired the run. Its box must still open (a wait sent to no one is a
    // run that waits for ever).
    void aWaitSentAtOnceReachesAWindowSlowToWireTheRun()
    {
        QObject window;
        bool awaited = false;
        std::optional<bool> walkedOn;
        SoundRun::Start<bool>(
            [](const RunCallbacks& callbacks, const std::atomic<bool>&) {
                const MeasurementResult last;
                const std::vector<OutputAverage> averages;
                return callbacks.await({0, 2, last, averages}) == PositionChoice::Next;
            },
            &window, [&walkedOn](const bool& next) { walkedOn = next; },
            [&window, &awaited](SoundRun* run) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                QObject::connect(run, &SoundRun::personAwaited, &window, [run, &awaited] {
                    awaited = true;
                    run->Answer(PositionChoice::Next);
                });
            });
        QTRY_VERIFY_WITH_TIMEOUT(walkedOn.has_value(), 10000);
        QVERIFY(awaited);
        QVERIFY(*walkedOn);
    }
};

QUENBAR_DESKTOP_TEST(SoundRunTest)
#include "SoundRunTest.moc"
