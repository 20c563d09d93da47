// Against the private server of scripts/pulse-session.sh: its null sinks
// quenbar_out (Quenbar_output) and quenbar_mic (Quenbar_microphone).
#include "DuplexStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const AudioDevice* Find(const std::vector<AudioDevice>& devices, const std::string& name)
{
    const auto found =
        std::find_if(devices.begin(), devices.end(), [&](const AudioDevice& device) { return device.name == name; });
    return found == devices.end() ? nullptr : &*found;
}

DuplexSettings Settings(const std::string& play, const std::string& record, int recordChannels)
{
    DuplexSettings settings;
    settings.playDevice = play;
    settings.recordDevice = record;
    settings.recordChannels = recordChannels;
    return settings;
}

TEST(AudioDevices, TheListShowsTheServersSinksAndSourcesWithTheirDefaults)
{
    const std::vector<AudioDevice> devices = ListAudioDevices();
    const AudioDevice* out = Find(devices, "Quenbar_output");
    const AudioDevice* monitor = Find(devices, "Monitor of Quenbar_output");
    const AudioDevice* micMonitor = Find(devices, "Monitor of Quenbar_microphone");
    ASSERT_TRUE(out && monitor && micMonitor);
    EXPECT_EQ(out->serverName, "quenbar_out");
    EXPECT_EQ(out->outputChannels, 2);
    EXPECT_EQ(out->inputChannels, 0);
    EXPECT_TRUE(out->defaultOutput);
    EXPECT_NE(std::find(out->rates.begin(), out->rates.end(), 48000), out->rates.end());
    EXPECT_EQ(monitor->serverName, "quenbar_out.monitor");
    EXPECT_EQ(monitor->inputChannels, 2);
    EXPECT_FALSE(monitor->defaultInput);
    EXPECT_TRUE(micMonitor->defaultInput);
}

TEST(AudioDevices, PulseSinkAndPulseSourceChooseTheDefaults)
{
    setenv("PULSE_SINK", "quenbar_mic", 1);
    setenv("PULSE_SOURCE", "quenbar_out.monitor", 1);
    const std::vector<AudioDevice> devices = ListAudioDevices();
    unsetenv("PULSE_SINK");
    unsetenv("PULSE_SOURCE");
    EXPECT_EQ(ChooseAudioDevice(devices, "", AudioDirection::Output).name, "Quenbar_microphone");
    EXPECT_EQ(ChooseAudioDevice(devices, "", AudioDirection::Input).name, "Monitor of Quenbar_output");
}

TEST(AudioDevices, ADeviceThatDoesNotExistOrHasNoChannelsThatWayIsAClearError)
{
    const std::vector<AudioDevice> devices = ListAudioDevices();
    try {
        ChooseAudioDevice(devices, "Studio Mic", AudioDirection::Input);
        FAIL() << "no error";
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("There is no sound device \"Studio Mic\""), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Monitor of Quenbar_output"), std::string::npos);  // what there is
    }
    EXPECT_THROW(ChooseAudioDevice(devices, "quenbar_out", AudioDirection::Input), AudioError);
    EXPECT_THROW(DuplexStream(Settings("nowhere", "", 1), {}), AudioError);
    // A default named by PULSE_SOURCE that the server does not have is no
    // default at all: nothing else is recorded in its place.
    setenv("PULSE_SOURCE", "nowhere.monitor", 1);
    try {
        DuplexStream(Settings("", "", 1), {});
        FAIL() << "opened";
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("PULSE_SOURCE names \"nowhere.monitor\""), std::string::npos) << e.what();
    }
    unsetenv("PULSE_SOURCE");
}

// Plays a burst of noise on both channels (the second at half the first),
// and again a second later, and records the output's monitor.
struct Loop {
    std::vector<float> burst;
    std::vector<float> recorded;  // interleaved, two channels
    std::size_t played = 0;       // frames
    std::mutex mutex;
    std::chrono::milliseconds stallOnce{0};

    Loop()
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> level(-0.5f, 0.5f);
        burst.resize(2400);
        for (float& sample : burst) sample = level(random);
    }

    void OnPlay(std::span<float> play)
    {
        const std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < play.size() / 2; ++i, ++played) {
            // The bursts at 0.2 s, once the stream has settled, and at 1.6 s.
            const float sample = BurstAt(played, kFirstBurst) + BurstAt(played, kSecondBurst);
            play[2 * i] = sample;
            play[2 * i + 1] = sample / 2;
        }
        if (stallOnce.count() && played > kStallAfter) {
            std::this_thread::sleep_for(stallOnce);
            stallOnce = 0ms;
        }
    }

    void OnRecord(std::span<const float> record)
    {
        const std::lock_guard lock(mutex);
        recorded.insert(recorded.end(), record.begin(), record.end());
    }

    DuplexHandler Handler()
    {
        return {[this](std::span<float> play) { OnPlay(play); },
                [this](std::span<const float> record) { OnRecord(record); }};
    }

    static constexpr std::size_t kFirstBurst = 9600;
    static constexpr std::size_t kSecondBurst = 76800;
    static constexpr std::size_t kStallAfter = 48000;

    float BurstAt(std::size_t frame, std::size_t start) const
    {
        return frame >= start && frame - start < burst.size() ? burst[frame - start] : 0.0f;
    }

    // The frame where a burst starts on the first channel, by the best match
    // from `from` on, before the next burst could.
    std::size_t Found(std::size_t from = 0)
    {
        std::size_t best = 0;
        double bestScore = -1;
        for (std::size_t at = from; at < from + kSecondBurst - kFirstBurst && 2 * (at + burst.size()) <= recorded.size();
             ++at) {
            double score = 0;
            for (std::size_t i = 0; i < 64; ++i) score += recorded[2 * (at + i)] * burst[i];
            if (score > bestScore) bestScore = score, best = at;
        }
        return best;
    }
};

void Play(DuplexStream& stream, std::chrono::milliseconds length)
{
    stream.Start();
    std::this_thread::sleep_for(length);
    stream.Stop();
}

TEST(DuplexStream, WhatPlaysIntoTheOutputComesBackOnItsMonitorSampleForSample)
{
    Loop loop;
    DuplexStream stream(Settings("", "quenbar_out.monitor", 2), loop.Handler());
    EXPECT_EQ(stream.PlayDevice().name, "Quenbar_output");  // the default
    EXPECT_EQ(stream.RecordDevice().name, "Monitor of Quenbar_output");
    Play(stream, 1200ms);
    const std::lock_guard lock(loop.mutex);
    const std::size_t at = loop.Found();
    ASSERT_LE(2 * (at + loop.burst.size()), loop.recorded.size());
    double worst = 0;
    for (std::size_t i = 0; i < loop.burst.size(); ++i) {
        worst = std::max(worst, double(std::abs(loop.recorded[2 * (at + i)] - loop.burst[i])));
        worst = std::max(worst, double(std::abs(loop.recorded[2 * (at + i) + 1] - loop.burst[i] / 2)));
    }
    EXPECT_LT(worst, 1e-3);  // the server's 16-bit samples
    EXPECT_GE(at, 9600u);    // never before it was played
    EXPECT_EQ(stream.Dropouts(), 0);
    EXPECT_FALSE(stream.Failure());
}

// Held up longer than the stream plays ahead, the thread loses sound: that
// is reported where it happened, and what is played after it comes back as
// late as before.
TEST(DuplexStream, AnAudioThreadThatFallsBehindLosesSoundButNothingAfterItMoves)
{
    Loop loop;
    loop.stallOnce = 400ms;
    DuplexStream stream(Settings("", "quenbar_out.monitor", 2), loop.Handler());
    Play(stream, 2400ms);
    const std::vector<StreamLoss> losses = stream.Losses();
    ASSERT_GE(losses.size(), 1u);
    EXPECT_EQ(losses.front().kind, StreamLoss::Kind::Underrun);
    // Where the thread stopped, give or take a block and the margin it played ahead.
    EXPECT_GT(losses.front().frame + losses.front().frames, std::int64_t(Loop::kStallAfter));
    EXPECT_LT(losses.front().frame, std::int64_t(Loop::kStallAfter + 19200));
    const std::lock_guard lock(loop.mutex);
    const std::size_t first = loop.Found() - Loop::kFirstBurst;
    const std::size_t second = loop.Found(Loop::kSecondBurst) - Loop::kSecondBurst;
    EXPECT_EQ(second, first);
}

TEST(DuplexStream, MoreChannelsThanTheDeviceHasIsAClearError)
{
    try {
        DuplexStream stream(Settings("", "", 3), {});
        FAIL() << "opened";
    } catch (const AudioError& e) {
        EXPECT_STREQ(e.what(), "The sound device \"Monitor of Quenbar_microphone\" has 2 input channels; 3 are needed.");
    }
}

}  // namespace
