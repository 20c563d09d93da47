// The Windows build's stream (WASAPI through RtAudio) under Wine, whose sound
// goes to the private server of scripts/pulse-session.sh: Wine's devices are
// the server's, named by their descriptions.
#include "DuplexStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kRate = 48000;
constexpr std::int64_t kClickEvery = kRate / 4;
constexpr std::int64_t kStallAt = 2 * kRate;

// A click every quarter second on the first channel; the recording of the
// output's monitor, first channel alone.
struct ClickTrain {
    std::mutex mutex;
    std::int64_t played = 0;
    std::vector<float> recorded;
    std::chrono::milliseconds stallOnce{0};

    DuplexHandler Handler()
    {
        return {[this](std::span<float> play) {
                    std::fill(play.begin(), play.end(), 0.0f);
                    const std::lock_guard lock(mutex);
                    for (std::size_t i = 0; i < play.size() / 2; ++i, ++played)
                        if (played % kClickEvery == 0) play[2 * i] = 0.5f;
                    if (stallOnce.count() && played > kStallAt) {
                        std::this_thread::sleep_for(stallOnce);
                        stallOnce = 0ms;
                    }
                },
                [this](std::span<const float> record) {
                    const std::lock_guard lock(mutex);
                    for (std::size_t i = 0; i < record.size(); i += 2) recorded.push_back(record[i]);
                }};
    }

    // Each click's lag behind its playing, in frames: the loudest sample of
    // its quarter second of recording.
    std::vector<std::int64_t> Lags()
    {
        const std::lock_guard lock(mutex);
        std::vector<std::int64_t> lags;
        for (std::int64_t start = 0; start + kClickEvery <= std::int64_t(recorded.size()); start += kClickEvery) {
            const auto from = recorded.begin() + start;
            const auto loudest = std::max_element(from, from + kClickEvery, [](float a, float b) {
                return std::abs(a) < std::abs(b);
            });
            if (std::abs(*loudest) > 0.25f) lags.push_back(loudest - from);
        }
        return lags;
    }
};

DuplexSettings LoopSettings()
{
    DuplexSettings settings;
    settings.playDevice = "Quenbar_output";
    settings.recordDevice = "Monitor of Quenbar_output";
    settings.rate = kRate;
    settings.recordChannels = 2;
    return settings;
}

void PlayFor(DuplexStream& stream, std::chrono::milliseconds length)
{
    stream.Start();
    std::this_thread::sleep_for(length);
    stream.Stop();
}

// On a busy machine Wine's PulseAudio driver may be starved: it pads the
// server's stream with silence and the relation moves. The program hears of
// it from the device falling behind (a loss reported): a train whose clicks
// moved must have reported one, and one train in five must keep every
// click in place.
TEST(WasapiStream, EveryClickComesBackWithTheSameLag)
{
    std::vector<std::int64_t> lags;
    for (int attempt = 0; attempt < 5; ++attempt) {
        ClickTrain train;
        DuplexStream stream(LoopSettings(), train.Handler());
        PlayFor(stream, 4000ms);
        lags = train.Lags();
        ASSERT_GE(lags.size(), 12u);
        EXPECT_FALSE(stream.Failure());
        std::cout << "lag " << lags.front() << " frames (" << 1000.0 * double(lags.front()) / kRate << " ms) for "
                  << lags.size() << " clicks, the last " << lags.back() << ", " << stream.Dropouts()
                  << " losses reported\n";
        if (std::all_of(lags.begin(), lags.end(), [&](std::int64_t lag) { return lag == lags.front(); })) break;
        EXPECT_GT(stream.Dropouts(), 0) << "the relation moved unsaid";
    }
    for (std::int64_t lag : lags) EXPECT_EQ(lag, lags.front());
}

// The audio thread held up longer than the device's buffer: the clicks
// after it come back with the lag of those before, or the loss is reported.
// Wine's driver, starved, may itself move the relation unsaid (three frames
// in about one stall of eleven here): one train in three must hold.
TEST(WasapiStream, AnUnderrunKeepsTheClicksInPlaceOrIsReported)
{
    bool held = false;
    for (int attempt = 0; attempt < 3 && !held; ++attempt) {
        ClickTrain train;
        train.stallOnce = 300ms;
        DuplexStream stream(LoopSettings(), train.Handler());
        PlayFor(stream, 4000ms);
        const std::vector<std::int64_t> lags = train.Lags();
        ASSERT_GE(lags.size(), 12u);
        EXPECT_FALSE(stream.Failure());
        std::cout << "after a 300 ms stall: lag " << lags.front() << " -> " << lags.back() << " frames, "
                  << stream.Dropouts() << " losses reported\n";
        held = lags.back() == lags.front() || stream.Dropouts() > 0;
    }
    EXPECT_TRUE(held) << "the relation moved unsaid in every train";
}

TEST(WasapiStream, ADeviceThatIsNotThereOrLacksChannelsIsAClearError)
{
    DuplexSettings settings = LoopSettings();
    settings.playDevice = "No such card";
    try {
        DuplexStream stream(settings, {});
        FAIL() << "opened";
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("No such card"), std::string::npos) << e.what();
    }
    settings = LoopSettings();
    settings.recordChannels = 9;
    try {
        DuplexStream stream(settings, {});
        FAIL() << "opened";
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("Monitor of Quenbar_output"), std::string::npos) << e.what();
    }
}

}  // namespace
