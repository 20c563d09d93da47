// The serial link against the emulated unit: one parameter message round
// trip, the whole connect sequence and an A/B switch of every field, with
// the emulator answering at once and pacing its line at 57600 baud, the round
// trip through ser2net beside the direct device; and what the link costs in
// CPU while it waits on a silent unit.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include "emulator/Emulator.h"
#include "history/SettingChanges.h"
#include "link/Frame.h"
#include "link/Link.h"
#include "link/ParameterMessages.h"
#include "link/TrafficDecoder.h"
#include "model/Model.h"
#include "tests/support/Ser2netRig.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"
#include "unit/UnitProbe.h"

namespace {

// The model and link every benchmark drives.
ParameterModel model{};
Link link{model};

constexpr int kLineBaud = 57600;
constexpr double kBitsPerByte = 10.0;  // start, eight data bits, stop
// Bytes on the line, both directions: attention, "P", the 11-byte frame, "Q".
constexpr int kParameterExchangeBytes = 14;
// Handshake (28), six name reads (6 x 34) and the current-setting read (77).
constexpr int kConnectSequenceBytes = 309;

double LineSeconds(int bytes) { return bytes * kBitsPerByte / kLineBaud; }

double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// An emulated unit on its pty, the transport open on it, the model fresh.
class LinkSession {
public:
    explicit LinkSession(EmulatorFaults faults) : unit_(faults)
    {
        LoadDefaults(model);
        ok_ = unit_.Start();
        if (ok_) {
            link.SetDevice(unit_.DevicePath());
            ok_ = link.Open();
        }
    }
    ~LinkSession()
    {
        link.Close();
        unit_.Stop();
    }
    bool Ok() const { return ok_; }

private:
    Rx74Emulator unit_;
    bool ok_ = false;
};

void ReportLineRatio(benchmark::State& state, int bytes, double seconds, int paceBaud)
{
    if (paceBaud == 0) return;
    state.counters["line_ms"] = LineSeconds(bytes) * 1e3;
    state.counters["line_ratio"] = seconds / LineSeconds(bytes);
}

void BM_ParameterRoundTrip(benchmark::State& state)
{
    const int paceBaud = static_cast<int>(state.range(0));
    LinkSession session({.paceBaud = paceBaud});
    if (!session.Ok()) return state.SkipWithError("no emulated unit");
    model.connected = 1;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (SendParameter(link, PID_LR_GAIN) != 0) return state.SkipWithError("message not acknowledged");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    ReportLineRatio(state, kParameterExchangeBytes, total / static_cast<double>(state.iterations()), paceBaud);
}

void BM_ConnectSequence(benchmark::State& state)
{
    const int paceBaud = static_cast<int>(state.range(0));
    LinkSession session({.paceBaud = paceBaud});
    if (!session.Ok()) return state.SkipWithError("no emulated unit");
    double total = 0;
    for (auto _ : state) {
        model.connected = 0;
        const auto start = std::chrono::steady_clock::now();
        if (ConnectUnit(link, nullptr) != ConnectResult::Connected) return state.SkipWithError("connect failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    ReportLineRatio(state, kConnectSequenceBytes, total / static_cast<double>(state.iterations()), paceBaud);
}

// The round trip through ser2net (on 127.0.0.1, raw or with COM-port
// control) in front of an emulated unit, beside the round trip on another
// unit's own device, both paced at 57600 baud and taken in turn: what the
// network serial server and the network line add to the line.
void BM_RoundTripThroughSer2net(benchmark::State& state)
{
    const bool comPortControl = state.range(0) != 0;
    LinkSession direct({.paceBaud = kLineBaud});
    Rx74Emulator remoteUnit({.paceBaud = kLineBaud});
    if (!direct.Ok() || !remoteUnit.Start()) return state.SkipWithError("no emulated unit");
    Ser2netRig ser2net(remoteUnit.DevicePath());
    if (!ser2net.Start()) return state.SkipWithError(ser2net.Problem().c_str());
    ParameterModel remoteModel{};
    LoadDefaults(remoteModel);
    remoteModel.connected = 1;
    Link remote{remoteModel};
    remote.SetDevice(comPortControl ? ser2net.ComPortAddress() : ser2net.RawAddress());
    if (!remote.Open()) return state.SkipWithError("ser2net's port did not open");
    model.connected = 1;
    using Clock = std::chrono::steady_clock;
    double directTotal = 0, remoteTotal = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        if (SendParameter(link, PID_LR_GAIN) != 0) return state.SkipWithError("message not acknowledged");
        directTotal += std::chrono::duration<double>(Clock::now() - start).count();
        start = Clock::now();
        if (SendParameter(remote, PID_LR_GAIN) != 0) return state.SkipWithError("message not acknowledged");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        remoteTotal += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    ReportLineRatio(state, kParameterExchangeBytes, remoteTotal / iterations, kLineBaud);
    state.counters["direct_ms"] = directTotal / iterations * 1e3;
    state.counters["vs_direct"] = remoteTotal / directTotal;
}

// A setting whose every field differs from the factory one: each takes its
// range's other end.
ParameterModel EveryFieldChanged()
{
    ParameterModel changed{};
    LoadDefaults(changed);
    const auto other = [](int& value, const ScaledSteps& steps) { value = value == steps.min ? steps.max : steps.min; };
    for (const int slot : {kSlotLeftRight, kSlotSub}) {
        for (const ChannelField& field : ChannelFields()) other(field.In(changed, slot), field.steps);
        for (int band = 0; band < kPeqBands; ++band)
            for (const PeqField& field : PeqFields()) other(field.In(changed, slot, band), field.steps);
    }
    return changed;
}

// An A/B switch between two settings that differ in every field: the
// messages between them (MessagesBetween), each one exchange, one switch an
// iteration, back and forth. Beside it the line time of those exchanges
// (attention, "P", the frame, "Q").
void BM_AbSwitchEveryField(benchmark::State& state)
{
    const int paceBaud = static_cast<int>(state.range(0));
    LinkSession session({.paceBaud = paceBaud});
    if (!session.Ok()) return state.SkipWithError("no emulated unit");
    ParameterModel sides[2]{model, EveryFieldChanged()};
    sides[0].connected = sides[1].connected = 1;
    int lineBytes = 0;
    for (const auto& payload : MessagesBetween(sides[0], sides[1]))
        lineBytes += static_cast<int>(FrameOf(payload).size()) + 3;
    model = sides[0];
    double total = 0;
    int next = 1;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& payload : MessagesBetween(model, sides[next])) {
            const std::vector<std::uint8_t> frame = FrameOf(payload);
            if (SendFramed(link, frame.data(), static_cast<int>(frame.size())) != 0)
                return state.SkipWithError("message not acknowledged");
        }
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        model = sides[next];
        next = 1 - next;
    }
    state.counters["messages"] = static_cast<double>(MessagesBetween(sides[0], sides[1]).size());
    ReportLineRatio(state, lineBytes, total / static_cast<double>(state.iterations()), paceBaud);
}

// The floor under the round trip: the same two exchanges as a parameter
// message (a byte out, a byte back, twice) over a bare pseudo-terminal with
// an echoing thread, and no link code at all. The round trip minus this is
// what the transport, the recogniser and the emulator add.
void BM_PtyEchoFloor(benchmark::State& state)
{
    int master = -1, device = -1;
    if (::openpty(&master, &device, nullptr, nullptr, nullptr) != 0) return state.SkipWithError("no pty");
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    std::atomic<bool> running{true};
    std::thread echo([&] {
        std::uint8_t byte;
        pollfd in{master, POLLIN, 0};
        while (running.load())
            if (::poll(&in, 1, 100) > 0 && ::read(master, &byte, 1) == 1 && ::write(master, &byte, 1) != 1) break;
    });
    const std::uint8_t out = 0xFA;
    std::uint8_t back = 0;
    for (auto _ : state) {
        for (int exchange = 0; exchange < 2; ++exchange) {
            pollfd in{device, POLLIN, 0};
            if (::write(device, &out, 1) != 1 || ::poll(&in, 1, 1000) != 1 || ::read(device, &back, 1) != 1)
                return state.SkipWithError("echo lost");
        }
    }
    running.store(false);
    echo.join();
    ::close(device);
    ::close(master);
}

// A message to a silent unit waits out its one-second time-out; the
// process's CPU time over that wait shows whether anything spins.
void BM_WaitOnSilentUnit(benchmark::State& state)
{
    LinkSession session({.silent = true});
    if (!session.Ok()) return state.SkipWithError("no emulated unit");
    model.connected = 1;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(SendParameter(link, PID_LR_GAIN));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += ProcessCpuSeconds() - cpuBefore;
    }
    state.counters["process_cpu_percent"] = 100.0 * cpu / wall;
}

// The round trip with the traffic decoded as the Communication Log does it
// (on the link's threads here, not handed to a window): what an open log
// costs. Without an observer the round trip above is the closed log's cost.
void BM_ParameterRoundTripLogged(benchmark::State& state)
{
    struct Decoding final : TrafficObserver {
        void OnTraffic(const TrafficEvent& event) override { benchmark::DoNotOptimize(decoder.Decode(event)); }
        TrafficDecoder decoder;
    } log;
    LinkSession session({});
    if (!session.Ok()) return state.SkipWithError("no emulated unit");
    model.connected = 1;
    link.SetTrafficObserver(&log);
    for (auto _ : state)
        if (SendParameter(link, PID_LR_GAIN) != 0) return state.SkipWithError("message not acknowledged");
    link.SetTrafficObserver(nullptr);
}

// The probe of eight devices at once, seven of them silent: each silent one
// costs a whole time-out, so the probe takes one time-out, not seven.
void BM_ProbeEightDevicesSevenSilent(benchmark::State& state)
{
    std::vector<std::unique_ptr<Rx74Emulator>> units;
    std::vector<std::string> devices;
    for (int i = 0; i < 8; ++i) {
        units.push_back(std::make_unique<Rx74Emulator>(EmulatorFaults{.silent = i != 3}));
        if (!units.back()->Start()) return state.SkipWithError("no emulated unit");
        devices.push_back(units.back()->DevicePath());
    }
    for (auto _ : state) {
        const std::vector<ProbeResult> results = ProbeDevices(devices);
        if (results[3].outcome != ProbeOutcome::UnitAnswered) return state.SkipWithError("unit not found");
    }
}

}  // namespace

BENCHMARK(BM_ParameterRoundTrip)
    ->ArgName("paceBaud")
    ->Arg(0)
    ->Arg(kLineBaud)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RoundTripThroughSer2net)
    ->ArgName("comPortControl")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PtyEchoFloor)->UseRealTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ConnectSequence)
    ->ArgName("paceBaud")
    ->Arg(0)
    ->Arg(kLineBaud)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_AbSwitchEveryField)
    ->ArgName("paceBaud")
    ->Arg(0)
    ->Arg(kLineBaud)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_WaitOnSilentUnit)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ParameterRoundTripLogged)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ProbeEightDevicesSevenSilent)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
