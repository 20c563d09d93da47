// rx74-emulator --audio through a real PulseAudio server of the
// program's own: a tone played into quenbar_out comes back at quenbar_mic as
// the room's truth says, and mutes sent over the line while it plays take
// the outputs out of the sound; the room's latency stays as it was when its
// audio thread is held up. --room-truth of a shipped room and a state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <numbers>
#include <thread>

#include "emulator/audio/AudioPath.h"
#include "emulator/audio/PulseAudioLoop.h"
#include "emulator/audio/RoomFile.h"
#include "tests/emulator/Programs.h"
#include "tests/emulator/RawLine.h"

namespace {

using namespace std::chrono_literals;
using namespace rx74emu;

constexpr double kToneHz = 1000.0, kToneAmplitude = 0.3;
constexpr std::size_t kWindow = 960;  // 20 ms

struct Frame {
    float mic, loopback;
};

std::vector<Frame> ReadRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<Frame> frames;
    Frame f;
    while (in.read(reinterpret_cast<char*>(&f), sizeof f)) frames.push_back(f);
    return frames;
}

double RmsDb(const std::vector<Frame>& frames, std::size_t from, float Frame::*channel)
{
    double sum = 0.0;
    for (std::size_t i = from; i < from + kWindow; ++i) sum += std::pow(frames[i].*channel, 2);
    return 10.0 * std::log10(sum / kWindow + 1e-30);
}

// The tone on both inputs, `seconds` long, as pacat plays it.
std::string WriteTone(double seconds)
{
    const std::string path = ::testing::TempDir() + "rx74-sound-tone.raw";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < static_cast<int>(seconds * kSampleRate); ++i) {
        const float s = static_cast<float>(kToneAmplitude * std::sin(2 * std::numbers::pi * kToneHz * i / kSampleRate));
        const Frame both{s, s};
        out.write(reinterpret_cast<const char*>(&both), sizeof both);
    }
    return path;
}

const std::vector<std::string> kRawStereo = {"--format=float32le", "--channels=2", "--rate=48000", "--raw"};

std::vector<std::string> With(std::vector<std::string> args)
{
    args.insert(args.end(), kRawStereo.begin(), kRawStereo.end());
    return args;
}

// True once the loopback of the recording so far carries a sound.
bool SoundArrived(const std::string& recording)
{
    const auto frames = ReadRecording(recording);
    return std::any_of(frames.begin(), frames.end(), [](const Frame& f) { return std::abs(f.loopback) > 0.1f; });
}

// The level of the tone at the microphone that the room's truth gives: the
// three outputs' sounds added with their arrivals.
double ExpectedMicDb(const AudioPath& truth)
{
    std::complex<double> sum = 0.0;
    const double w = 2 * std::numbers::pi * kToneHz;
    for (Output output : kOutputs)
        sum += truth.Response(output, kToneHz) * std::polar(1.0, -w * truth.ArrivalMs(output) / 1000.0);
    return 20.0 * std::log10(kToneAmplitude / std::sqrt(2.0) * std::abs(sum));
}

// Plays `sound` into quenbar_out while recording quenbar_mic.monitor; calls
// `whilePlaying` once the recording carries it. Returns the recording.
std::vector<Frame> PlayAndRecord(const std::string& sound, const std::function<void()>& whilePlaying)
{
    const std::string recording = ::testing::TempDir() + "rx74-sound-recording.raw";
    const pid_t recorder = Spawn("parec", With({"--device=quenbar_mic.monitor", "--latency-msec=20"}), recording);
    const pid_t player = Spawn("pacat", With({"--device=quenbar_out", sound}));
    EXPECT_GT(recorder, 0);
    EXPECT_GT(player, 0);
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (!SoundArrived(recording) && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(20ms);
    whilePlaying();
    EXPECT_EQ(Wait(player), 0);
    std::this_thread::sleep_for(300ms);
    TerminateAndWait(recorder);
    auto frames = ReadRecording(recording);
    std::filesystem::remove(recording);
    return frames;
}

TEST(EmulatorSoundTest, AToneComesBackThroughTheRoomAndMutesSentWhileItPlaysSilenceTheirOutputs)
{
    auto [emulator, device] = LaunchEmulator({"--audio"});
    ASSERT_GT(emulator, 0);
    ASSERT_FALSE(device.empty()) << "rx74-emulator --audio did not start";
    RawLine line(device);
    const auto frames = PlayAndRecord(WriteTone(4.0), [&line] {
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(line.Command({212, 128, 1}, 1), Bytes{0x51}) << "Left and Right muted";
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(line.Command({232, 128, 1}, 1), Bytes{0x51}) << "the Sub muted";
    });
    EXPECT_EQ(TerminateAndWait(emulator), 0);

    // The windows that hold the tone on the loopback, in order, but for the
    // two where it starts and ends.
    std::vector<double> mic, loopback;
    for (std::size_t at = 0; at + kWindow <= frames.size(); at += kWindow)
        if (RmsDb(frames, at, &Frame::loopback) > -20.0) {
            mic.push_back(RmsDb(frames, at, &Frame::mic));
            loopback.push_back(RmsDb(frames, at, &Frame::loopback));
        }
    ASSERT_GT(mic.size(), 150u) << "the tone lasts 4 s: 200 windows";
    mic = {mic.begin() + 1, mic.end() - 1};
    loopback = {loopback.begin() + 1, loopback.end() - 1};
    const double toneDb = 20.0 * std::log10(kToneAmplitude / std::sqrt(2.0));
    for (double db : loopback) ASSERT_NEAR(db, toneDb, 0.1) << "the loopback is input 1 as it came";

    // All three outputs, then the Sub's little at 1 kHz, then the room's noise alone.
    Room room = DefaultRoom();
    room.noise.dbfs = -INFINITY;
    const double allDb = ExpectedMicDb(AudioPath(room));
    const std::size_t n = mic.size();
    EXPECT_NEAR(mic[5], allDb, 0.3);
    EXPECT_NEAR(mic[n / 5], allDb, 0.3);
    const double subAlone = mic[n * 9 / 20], noiseAlone = mic[n - 10];
    EXPECT_LT(subAlone, allDb - 20.0);
    EXPECT_GT(subAlone, noiseAlone + 10.0);
    EXPECT_NEAR(noiseAlone, DefaultRoom().noise.dbfs, 3.0);
}

// Three clicks on input 1, a second apart.
std::string WriteClicks()
{
    const std::string path = ::testing::TempDir() + "rx74-sound-clicks.raw";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < static_cast<int>(3.5 * kSampleRate); ++i) {
        const Frame click{i % 48000 == 24000 ? 0.9f : 0.0f, 0.0f};
        out.write(reinterpret_cast<const char*>(&click), sizeof click);
    }
    return path;
}

std::complex<double> Spectrum(const std::vector<Frame>& frames, std::size_t from, std::size_t to, float Frame::*channel,
                              double hz)
{
    std::complex<double> sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(frames[i].*channel) * std::polar(1.0, -2 * std::numbers::pi * hz * i / kSampleRate);
    return sum;
}

TEST(EmulatorSoundTest, TheMicrophoneHearsTheLeftAgainstTheLoopbackAsTheRoomsTruthSays)
{
    const std::string quiet = ::testing::TempDir() + "rx74-quiet-room.json";
    std::ofstream(quiet) << R"({"noise": {"dbfs": null}})";
    auto [emulator, device] = LaunchEmulator({"--audio", "--room", quiet});
    ASSERT_FALSE(device.empty()) << "rx74-emulator --audio did not start";
    {
        RawLine line(device);
        ASSERT_EQ(line.Command({232, 128, 1}, 1), Bytes{0x51}) << "the Sub muted";
        ASSERT_EQ(line.Command({122, 23, 0}, 1), Bytes{0x51}) << "Left and Right 2.3 ms later";
    }
    const auto frames = PlayAndRecord(WriteClicks(), [] {});
    EXPECT_EQ(TerminateAndWait(emulator), 0);

    Room room = std::get<Room>(ParseRoom(R"({"noise": {"dbfs": null}})"));
    UnitState state;
    ASSERT_TRUE(state.ApplyParameter({122, 23, 0}));
    const AudioPath truth(room, state.current);
    const double arrival = truth.ArrivalMs(Output::Left) / 1000.0;
    int clicks = 0;
    for (std::size_t at = 0; at + 6000 < frames.size(); ++at) {
        if (frames[at].loopback < 0.5f) continue;
        // From just before the click, 85 ms of it: the direct sound and the early room.
        const std::size_t from = at - 64, to = at + 4096;
        for (double hz : {500.0, 1000.0, 2000.0, 4000.0, 8000.0}) {
            const auto heard =
                Spectrum(frames, from, to, &Frame::mic, hz) / Spectrum(frames, from, to, &Frame::loopback, hz);
            const auto expected =
                truth.Response(Output::Left, hz) * std::polar(1.0, -2 * std::numbers::pi * hz * arrival);
            EXPECT_NEAR(20 * std::log10(std::abs(heard / expected)), 0.0, 0.1) << hz << " Hz";
            EXPECT_NEAR(std::arg(heard / expected) * 180 / std::numbers::pi, 0.0, 1.0) << hz << " Hz";
        }
        ++clicks;
        at += 6000;
    }
    EXPECT_EQ(clicks, 3);
    std::filesystem::remove(quiet);
}

// Clicks on input 1, about 50 ms apart, each off the beat by its own
// amount: a stretch of the sound shifted in time matches none of them.
// The first comes after a pause (a stream's very first frames may be lost).
constexpr int kClickEvery = 2400, kNumberedClicks = 60;

long ClickAt(int click) { return (click + 1) * kClickEvery + (click * 37 % 11) * 100; }

std::string WriteUnevenClicks()
{
    const std::string path = ::testing::TempDir() + "rx74-sound-uneven-clicks.raw";
    std::ofstream out(path, std::ios::binary);
    std::vector<Frame> frames(static_cast<std::size_t>(ClickAt(kNumberedClicks)), Frame{0.0f, 0.0f});
    for (int click = 0; click < kNumberedClicks; ++click) frames[static_cast<std::size_t>(ClickAt(click))].mic = 0.5f;
    out.write(reinterpret_cast<const char*>(frames.data()), static_cast<std::streamsize>(frames.size() * sizeof(Frame)));
    return path;
}

TEST(EmulatorSoundTest, AHeldUpAudioThreadLosesSoundButNeverShiftsTheSoundAfterIt)
{
    AudioPath path(DefaultRoom());
    PulseAudioLoop loop(path, [] { return FactoryImage(); });
    ASSERT_TRUE(loop.Start({})) << loop.Error();
    // Longer than the loop's lead: some of the sound cannot come in time.
    const auto frames = PlayAndRecord(WriteUnevenClicks(), [&loop] {
        std::this_thread::sleep_for(1s);
        loop.HoldUpOnce(400ms);
    });
    loop.Stop();

    // Each click on the loopback, against where the first one puts it.
    std::vector<long> heard;
    for (std::size_t at = 0; at < frames.size(); ++at)
        if (frames[at].loopback > 0.25f) {
            heard.push_back(static_cast<long>(at));
            at += 200;
        }
    ASSERT_GT(heard.size(), 10u);
    const long latency = heard.front() - ClickAt(0);
    int last = 0;
    for (long at : heard) {
        int click = 0;
        while (click < kNumberedClicks && std::abs(at - latency - ClickAt(click)) > 2) ++click;
        EXPECT_LT(click, kNumberedClicks) << "a click heard " << at - latency << " samples in is none played";
        last = click;
    }
    EXPECT_EQ(last, kNumberedClicks - 1) << "the clicks after the hold-up came at their times";
    EXPECT_LT(heard.size(), static_cast<std::size_t>(kNumberedClicks) - 2) << "the hold-up lost the clicks it held";
}

TEST(EmulatorSoundTest, TheRoomTruthFollowsTheStateAndTheRoomFile)
{
    const std::string state = ::testing::TempDir() + "rx74-sound-state", truth = ::testing::TempDir() + "rx74-truth";
    std::filesystem::remove(state);
    auto [pid, device] = LaunchEmulator({"--state", state});
    ASSERT_GT(pid, 0);
    {
        RawLine line(device);
        ASSERT_EQ(line.Command({79, 25, 0}, 1), Bytes{0x51});  // the Sub 2.5 ms later
    }
    ASSERT_EQ(TerminateAndWait(pid), 0);

    const std::string room = std::string(RX74_ROOMS) + "/sub-ahead-reversed.json";
    ASSERT_EQ(Wait(Spawn(RX74_EMULATOR_PROGRAM, {"--room-truth", "--room", room, "--state", state}, truth)), 0);
    std::ifstream in(truth);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    const auto parsed = ReadRoomFile(room);
    ASSERT_TRUE(std::holds_alternative<Room>(parsed));
    const Room& r = std::get<Room>(parsed);
    EXPECT_NEAR(json["outputs"]["sub"]["arrivalMs"].get<double>(), 2.5 + r.sub.distanceM / 0.343, 1e-9);
    EXPECT_NEAR(json["outputs"]["left"]["arrivalMs"].get<double>(), r.left.distanceM / 0.343, 1e-9);
    EXPECT_EQ(json["outputs"]["right"]["hz"].size(), 527u);
    EXPECT_NEAR(json["outputs"]["right"]["hz"][0].get<double>(), 10.0, 1e-9);
    // Each position's own, the first as "outputs" says.
    ASSERT_EQ(json["positions"].size(), 4u);
    EXPECT_EQ(json["positions"][0]["outputs"], json["outputs"]);
    EXPECT_NEAR(json["positions"][3]["outputs"]["sub"]["arrivalMs"].get<double>(), 2.5 + r.At(4).sub.distanceM / 0.343,
                1e-9);
    EXPECT_NE(json["positions"][3]["outputs"]["left"]["db"], json["outputs"]["left"]["db"]);

    EXPECT_NE(Wait(Spawn(RX74_EMULATOR_PROGRAM, {"--room-truth", "--room", state})), 0) << "a state is no room";
    std::filesystem::remove(state);
    std::filesystem::remove(truth);
}

}  // namespace
