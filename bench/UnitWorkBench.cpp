// The desktop program's exchanges off the GUI thread, through the program's
// own windows and link (offscreen) against the emulated unit:
// - how long the event loop is held up at most while a connect waits on a
//   silent unit (a 5 ms timer's lateness);
// - a drag of the output page's level slider with the unit paced at 57600
//   baud: the time from the release until the unit holds the final value,
//   against the line time of one message, and the messages sent per second
//   during the drag, against the mouse's move rate and the line's limit.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/UnitLink.h"
#include "app/UnitTasks.h"
#include "dialogs/DlgOutput.h"
#include "emulator/Emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLineBaud = 57600;
constexpr double kBitsPerByte = 10.0;
// Attention, "P", the 11-byte frame, "Q".
constexpr int kParameterExchangeBytes = 14;
constexpr double kParameterLineMs = kParameterExchangeBytes * kBitsPerByte / kLineBaud * 1e3;
constexpr int kStallProbeMs = 5;
constexpr auto kDragTime = std::chrono::milliseconds(500);

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs the event loop until the unit's operation has ended; the longest a
// 5 ms timer was late meanwhile.
double LongestStallUntilIdle()
{
    QEventLoop loop;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    auto last = Clock::now();
    double longest = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, MsBetween(last, now) - kStallProbeMs);
        last = now;
        if (!UnitTasks().Busy()) loop.quit();
    });
    probe.start(kStallProbeMs);
    loop.exec();
    return longest;
}

// Connects the program to the unit and waits for it, the event loop running.
bool ConnectAndWait()
{
    ConnectResult result = ConnectResult::HandshakeFailed;
    StartConnect(nullptr, [&result](const ConnectReport& ended) { result = ended.result; });
    LongestStallUntilIdle();
    return result == ConnectResult::Connected;
}

void BM_SilentConnectStall(benchmark::State& state)
{
    Rx74Emulator unit({.silent = true});
    if (!unit.Start() || !OpenUnitPort(unit.DevicePath())) return state.SkipWithError("no emulated unit");
    // Once unmeasured: in the program the windows are up, their fonts and
    // style loaded, before any connect.
    StartConnect(nullptr, [](const ConnectReport&) {});
    LongestStallUntilIdle();
    double longest = 0;
    for (auto _ : state) {
        model = ParameterModel{};
        if (!StartConnect(nullptr, [](const ConnectReport&) {})) return state.SkipWithError("a connect is under way");
        const double stall = LongestStallUntilIdle();
        longest = std::max(longest, stall);
        state.SetIterationTime(stall / 1e3);
    }
    state.counters["stall_max_ms"] = longest;
    CloseUnitPort();
}

// Drags the level slider one step per move, `moveInterval` apart, for half
// a second (turning at the slider's ends), and lets go with the last move.
void BM_LevelDrag(benchmark::State& state)
{
    const auto moveInterval = std::chrono::microseconds(state.range(0));
    Rx74Emulator unit({.paceBaud = kLineBaud});
    if (!unit.Start() || !OpenUnitPort(unit.DevicePath())) return state.SkipWithError("no emulated unit");
    model = ParameterModel{};
    LoadDefaults(model);
    if (!ConnectAndWait()) return state.SkipWithError("connect failed");
    CDlgOutput page(kSlotLeftRight, QStringLiteral("Left&&Right"));
    auto* level = page.findChild<QSlider*>(QStringLiteral("level"));
    page.show();
    QCoreApplication::processEvents();
    UnitWorker().WaitIdle();

    long moves = 0, messages = 0;
    double dragSeconds = 0, longestRelease = 0;
    int direction = 1;
    for (auto _ : state) {
        const long sentBefore = UnitWorker().ParametersSent();
        level->setSliderDown(true);
        const auto start = Clock::now();
        auto next = start;
        for (;;) {
            const int position = level->sliderPosition();
            if (position + direction < level->minimum() || position + direction > level->maximum())
                direction = -direction;
            level->setSliderPosition(position + direction);
            ++moves;
            next += moveInterval;
            if (next - start >= kDragTime) break;  // the last move: the button goes up with it
            std::this_thread::sleep_until(next);
        }
        level->setSliderDown(false);
        const auto released = Clock::now();
        dragSeconds += MsBetween(start, released) / 1e3;
        const int finalGain = model.gain[kSlotLeftRight];
        while (unit.CurrentImage()[1] != finalGain) std::this_thread::sleep_for(std::chrono::microseconds(50));
        const double releaseMs = MsBetween(released, Clock::now());
        longestRelease = std::max(longestRelease, releaseMs);
        state.SetIterationTime(releaseMs / 1e3);
        UnitWorker().WaitIdle();
        messages += UnitWorker().ParametersSent() - sentBefore;
    }
    state.counters["moves_per_s"] = static_cast<double>(moves) / dragSeconds;
    state.counters["messages_per_s"] = static_cast<double>(messages) / dragSeconds;
    state.counters["line_messages_per_s"] = 1e3 / kParameterLineMs;
    state.counters["line_ms"] = kParameterLineMs;
    state.counters["release_max_ms"] = longestRelease;
    CloseUnitPort();
}

}  // namespace

BENCHMARK(BM_SilentConnectStall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LevelDrag)
    ->ArgName("moveIntervalUs")
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

int main(int argc, char** argv)
{
    // Offscreen, and with settings of its own: a connect writes the firmware type.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ShutDownUnitLink();
    return 0;
}
