// The core's pure computations: the response curve the output page redraws
// every 800 ms, image packing and unpacking, and frame building.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "link/Frame.h"
#include "model/MemoryImage.h"
#include "model/Model.h"
#include "response/Response.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

// Both filters and all three bands active: the slowest curve to compute.
void LoadBusyChannel(int slot)
{
    model = ParameterModel{};
    LoadDefaults(model);
    model.hpfType[slot] = 22;  // "24dB Butterworth"
    model.hpfFreq[slot] = 100;
    model.lpfType[slot] = 12;  // a Q type
    model.lpfFreq[slot] = 300;
    const int gains[] = {188, 70, 150};
    for (int band = 0; band < kPeqBands; ++band) {
        model.peqGain[PeqIndex(slot, band)] = gains[band];
        model.peqFreq[PeqIndex(slot, band)] = 80 + 100 * band;
    }
    model.peqLoShelf[PeqIndex(slot, 0)] = 1;
}

void BM_ComputeResponseBusyChannel(benchmark::State& state)
{
    LoadBusyChannel(kSlotSub);
    for (auto _ : state) benchmark::DoNotOptimize(ComputeResponse(model, kSlotSub));
}
BENCHMARK(BM_ComputeResponseBusyChannel);

void BM_ComputeResponseDefaults(benchmark::State& state)
{
    model = ParameterModel{};
    LoadDefaults(model);
    for (auto _ : state) benchmark::DoNotOptimize(ComputeResponse(model, kSlotLeftRight));
}
BENCHMARK(BM_ComputeResponseDefaults);

void BM_ModelToImage(benchmark::State& state)
{
    LoadBusyChannel(kSlotLeftRight);
    std::array<std::uint8_t, kImageSize> image{};
    for (auto _ : state) {
        ModelToImage(model, image.data());
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_ModelToImage);

void BM_ImageToModel(benchmark::State& state)
{
    LoadBusyChannel(kSlotLeftRight);
    std::array<std::uint8_t, kImageSize> image{};
    ModelToImage(model, image.data());
    for (auto _ : state) {
        ImageToModel(model, image.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ImageToModel);

// A PEQ message (7 bytes) and the largest payload (192 bytes).
void BM_BuildFrame(benchmark::State& state)
{
    const auto length = static_cast<std::uint8_t>(state.range(0));
    std::array<std::uint8_t, kMaxPayload + kFrameOverhead> buffer{};
    for (auto _ : state) {
        for (int i = 0; i < length; ++i) buffer[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7);
        benchmark::DoNotOptimize(BuildFrame(buffer.data(), length));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildFrame)->Arg(7)->Arg(kMaxPayload);

}  // namespace

BENCHMARK_MAIN();
