// The reverberant room as a measurement sees it: an impulse through the
// whole path, cut with the measurement's own windows and smoothed to
// 1/6 octave, against the room's truth, which is the direct sound's. What
// of the tail falls within a window has to stay within 1 dB of it there.
// The only test of the emulator that uses the measurement's code: the
// window is what decides how much reverberation a room may have.
#include <gtest/gtest.h>

#include <cmath>

#include "FrequencyResponse.h"
#include "ImpulseWindow.h"
#include "emulator/audio/AudioPath.h"
#include "emulator/audio/RoomFile.h"
#include "emulator/audio/RoomTruth.h"

namespace {

using namespace rx74emu;

Image Muted(std::uint8_t parameter)
{
    UnitState state;
    state.current = FactoryImage();
    EXPECT_TRUE(state.ApplyParameter({parameter, 128, 1}));
    return state.current;
}

// The largest difference of the windowed response from the truth, both at
// 1/6 octave, from lowestHz to 16 kHz where the truth is within 30 dB of its peak.
double WorstDb(const Room& room, Output output, double lowestHz)
{
    AudioPath path(room, Muted(output == Output::Sub ? 212 : 232));  // the mains' or the Sub's mute
    const std::size_t length = 2 * static_cast<std::size_t>(kSampleRate);
    std::vector<float> in(2 * length, 0.0f), out(2 * length);
    in[0] = output == Output::Right ? 0.0f : 1.0f;
    in[1] = output == Output::Left ? 0.0f : 1.0f;
    path.Process(in.data(), out.data(), length);
    Deconvolved heard;
    for (std::size_t i = 0; i < length; ++i) heard.samples.push_back(out[2 * i]);
    std::size_t peak = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (std::abs(heard.samples[i]) > std::abs(heard.samples[peak])) peak = i;
    const auto hz = TruthFrequencies();
    const FrequencyResponse measured = ResponseOf(
        CutImpulse(heard, peak, 0.0, kSampleRate, output == Output::Sub ? SubWindow() : TopsWindow()), hz, 6);

    FrequencyResponse truth;
    truth.hz = hz;
    for (double f : hz) {
        truth.values.push_back(path.Response(output, f));
        truth.db.push_back(20 * std::log10(std::abs(truth.values.back())));
        truth.phaseDeg.push_back(0.0);
    }
    truth = Smoothed(truth, 6);
    const double top = *std::max_element(truth.db.begin(), truth.db.end());
    double worst = 0.0;
    for (std::size_t k = 0; k < hz.size(); ++k)
        if (hz[k] >= lowestHz && hz[k] <= 16000.0 && truth.db[k] >= top - 30.0)
            worst = std::max(worst, std::abs(measured.db[k] - truth.db[k]));
    return worst;
}

TEST(ReverberantRoomTest, TheWindowedResponseStaysWithinOneDbOfTheDirectSoundsTruth)
{
    const auto read = ReadRoomFile(RX74_ROOMS "/reverberant.json");
    ASSERT_TRUE(std::holds_alternative<Room>(read)) << std::get<std::string>(read);
    Room room = std::get<Room>(read);
    ASSERT_TRUE(room.reverb.On());
    room.noise.dbfs = -INFINITY;  // an impulse carries far less energy than a sweep
    EXPECT_LT(WorstDb(room, Output::Left, 80.0), 1.0);
    EXPECT_LT(WorstDb(room, Output::Sub, 25.0), 1.0);

    // A tail 12 dB louder does not stay within it: the check sees the tail.
    room.reverb.levelDb += 12.0;
    EXPECT_GT(std::max(WorstDb(room, Output::Left, 80.0), WorstDb(room, Output::Sub, 25.0)), 1.0);
}

}  // namespace
