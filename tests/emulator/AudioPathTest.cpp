// The emulated unit's sound from end to end, offline: the setting's bytes as
// sound, the Sub's feed, mute, polarity, the limiter, and the room's truth
// against the impulse response of the very path that plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "emulator/audio/AudioPath.h"
#include "emulator/audio/RoomFile.h"
#include "emulator/audio/RoomTruth.h"

namespace {

using namespace rx74emu;

constexpr std::size_t kMains = 0;  // the Left & Right block of the image

// A room without noise, so that what is heard is the path alone.
Room QuietRoom()
{
    Room room = DefaultRoom();
    room.noise.dbfs = -INFINITY;
    return room;
}

Image WithParameter(std::vector<std::uint8_t> message, Image image = FactoryImage())
{
    UnitState state;
    state.current = image;
    EXPECT_TRUE(state.ApplyParameter(message));
    return state.current;
}

// The microphone's signal for an impulse on input 1, input 2 or both.
std::vector<double> ImpulseResponse(AudioPath& path, bool one, bool two, std::size_t length)
{
    std::vector<float> in(2 * length, 0.0f), out(2 * length);
    in[0] = one ? 1.0f : 0.0f;
    in[1] = two ? 1.0f : 0.0f;
    path.Process(in.data(), out.data(), length);
    std::vector<double> mic(length);
    for (std::size_t i = 0; i < length; ++i) mic[i] = out[2 * i];
    return mic;
}

std::complex<double> Spectrum(const std::vector<double>& x, double hz)
{
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * hz / kSampleRate);
    std::complex<double> rotor = 1.0, sum = 0.0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        sum += x[n] * rotor;
        rotor *= step;
        if (n % 1024 == 0) rotor /= std::abs(rotor);
    }
    return sum;
}

double Energy(const std::vector<double>& x)
{
    double sum = 0.0;
    for (double v : x) sum += v * v;
    return sum;
}

TEST(AudioPathTest, TheSettingsBytesDecodeToTheUnitsSteps)
{
    const ChannelSetting factory = DecodeSetting(FactoryImage()).mains;
    EXPECT_EQ(factory.levelDb, 0.0);
    EXPECT_EQ(factory.highPass.hz, 35.1);
    EXPECT_EQ(factory.lowPass.hz, 16000.0);
    EXPECT_FALSE(factory.limiterDbu);
    EXPECT_EQ(factory.bands[1].hz, 1000.0);
    EXPECT_EQ(factory.bands[1].octaves, 0.228);

    // Sub band 2: +6.5 dB, bandwidth step 41, step 394, as a low shelf; level -60 dB and muted; 12.5 ms.
    Image image = WithParameter({34, 128 + 65, 43 - 41, 0x01, 0x8A, 0, 0x40});
    image = WithParameter({4, 0, 1}, image);
    image = WithParameter({79, 125, 0}, image);
    image = WithParameter({85, 62, 0}, image);
    const ChannelSetting sub = DecodeSetting(image).sub;
    EXPECT_DOUBLE_EQ(sub.bands[2].gainDb, 6.5);
    EXPECT_EQ(sub.bands[2].octaves, 3.595);
    EXPECT_EQ(sub.bands[2].hz, 20200.0);
    EXPECT_EQ(sub.bands[2].shape, PeqBand::Shape::LowShelf);
    EXPECT_EQ(sub.bands[0].shape, PeqBand::Shape::Bell);
    EXPECT_EQ(sub.levelDb, -60.0);
    EXPECT_TRUE(sub.mute);
    EXPECT_DOUBLE_EQ(sub.delayMs, 12.5);
    EXPECT_EQ(sub.limiterDbu, -40.0);
    EXPECT_EQ(DecodeSetting(image).mains.levelDb, 0.0);

    // The crossover switched off passes everything, whatever its types.
    image = WithParameter({59, 22, 0, 200, 0});
    EXPECT_EQ(DecodeSetting(image).mains.highPass.type, 22);
    EXPECT_EQ(DecodeSetting(WithParameter({213, 0, 0}, image)).mains.highPass.type, 0);
}

TEST(AudioPathTest, TheRoomsTruthIsTheSpectrumOfThePathsImpulseResponse)
{
    // A setting that uses every part: PEQ, crossover, level, polarity, delay.
    Image image = WithParameter({59, 22, 0, 110, 0});                     // high-pass 24 dB Butterworth, 83.4 Hz
    image = WithParameter({10, 128 - 60, 43 - 30, 0, 238, 0, 0}, image);  // -6 dB at 1 kHz
    image = WithParameter({122, 37, 0}, image);                           // 3.7 ms
    image = WithParameter({127, 1, 0}, image);
    image = WithParameter({49, 25, 0, 140, 0}, image);  // Sub low-pass 48 dB Butterworth, 152 Hz
    image = WithParameter({79, 13, 0}, image);
    const AudioPath truth(QuietRoom(), image);

    struct Case {
        Output output;
        bool one, two;
        std::vector<std::uint8_t> muteOthers;
    };
    const Case kCases[] = {{Output::Left, true, false, {232, 128, 1}},
                           {Output::Right, false, true, {232, 128, 1}},
                           {Output::Sub, true, true, {212, 128, 1}}};
    for (const auto& c : kCases) {
        AudioPath path(QuietRoom(), WithParameter(c.muteOthers, image));
        const auto heard = ImpulseResponse(path, c.one, c.two, 1 << 16);
        const double late = AudioPath::kLatencySamples + truth.ArrivalMs(c.output) * kSampleRate / 1000.0;
        double worstDb = 0.0, worstDegrees = 0.0;
        for (double hz : TruthFrequencies()) {
            const auto expected = truth.Response(c.output, hz);
            if (hz < 20.0 || std::abs(expected) < 1e-3) continue;  // a 1.4 s response; above -60 dB
            const auto measured = Spectrum(heard, hz) * std::polar(1.0, 2 * std::numbers::pi * hz / kSampleRate * late);
            worstDb = std::max(worstDb, std::abs(20 * std::log10(std::abs(measured / expected))));
            worstDegrees = std::max(worstDegrees, std::abs(std::arg(measured / expected)) * 180 / std::numbers::pi);
        }
        EXPECT_LT(worstDb, 0.1) << OutputName(c.output);
        EXPECT_LT(worstDegrees, 1.0) << OutputName(c.output);
    }
    EXPECT_NEAR(truth.ArrivalMs(Output::Left), 3.7 + 3000.0 / 343.0, 1e-9);
    EXPECT_NEAR(truth.ArrivalMs(Output::Sub), 1.3 + 3600.0 / 343.0, 1e-9);
}

TEST(AudioPathTest, TheSubHearsHalfTheSumOfTheInputsAndMuteAndPolarityActOnTheirOutput)
{
    Room room = QuietRoom();
    room.resonances.clear();
    room.left.response = room.right.response = room.sub.response = {};
    const std::size_t length = 2048;
    const Image mainsMuted = WithParameter({212, 128, 1});
    AudioPath one(room, mainsMuted), both(room, mainsMuted);
    const auto subOfOne = ImpulseResponse(one, true, false, length);
    const auto subOfBoth = ImpulseResponse(both, true, true, length);
    EXPECT_NEAR(Energy(subOfBoth) / Energy(subOfOne), 4.0, 1e-6) << "half of each input";
    double sum = 0.0;
    for (double v : subOfOne) sum += v;
    EXPECT_NEAR(sum, 0.5 / 3.6, 1e-6) << "half of input 1 at 3.6 m";

    AudioPath silent(room, WithParameter({232, 128, 1}, mainsMuted));
    EXPECT_EQ(Energy(ImpulseResponse(silent, true, true, length)), 0.0);

    // Only the Left on input 1: the polarity turns its sound over, nothing else.
    const Image subMuted = WithParameter({232, 128, 1});
    AudioPath normal(room, subMuted), inverted(room, WithParameter({127, 1, 0}, subMuted));
    const auto a = ImpulseResponse(normal, true, false, length), b = ImpulseResponse(inverted, true, false, length);
    double difference = 0.0;
    for (std::size_t i = 0; i < length; ++i) difference = std::max(difference, std::abs(a[i] + b[i]));
    EXPECT_GT(Energy(a), 0.1 / 9);
    EXPECT_LT(difference, 1e-7);
}

TEST(AudioPathTest, TheLimiterHoldsItsThresholdAndTheLoopbackIsInputOneAsItCame)
{
    Room room = QuietRoom();
    room.resonances.clear();
    room.left.response = room.sub.response = {};
    room.left.distanceM = 1.0;
    // Left alone, +6 dB, the limiter at +10 dBu: -10 dBFS.
    Image image = WithParameter({232, 128, 1});
    image = WithParameter({211, 140, 0}, image);
    image = WithParameter({129, 12, 0}, image);
    AudioPath path(room, image);
    const std::size_t length = 24000;
    std::vector<float> in(2 * length, 0.0f), out(2 * length);
    for (std::size_t i = 0; i < length; ++i)
        in[2 * i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * i / kSampleRate));
    path.Process(in.data(), out.data(), length);
    double peak = 0.0;
    for (std::size_t i = length / 2; i < length; ++i) peak = std::max(peak, std::abs<double>(out[2 * i]));
    // The delays' band limit lets a peak ring over by a few hundredths of a dB.
    EXPECT_LT(peak, std::pow(10.0, -10.0 / 20.0) * 1.001);
    EXPECT_GT(peak, std::pow(10.0, -10.0 / 20.0) * 0.95) << "limited, not silenced";
    for (std::size_t i = 0; i + AudioPath::kLatencySamples < length; i += 101)
        EXPECT_NEAR(out[2 * (i + AudioPath::kLatencySamples) + 1], in[2 * i], 2e-3) << i;
}

TEST(AudioPathTest, ARoomFileChangesWhatItNamesAndRefusesWhatIsNoRoom)
{
    const auto room = ParseRoom(R"({"sub": {"distanceM": 2.1, "reversed": true},
                                    "noise": {"dbfs": null},
                                    "resonances": [{"type": "peak", "hz": 50, "q": 4, "gainDb": 3}]})");
    ASSERT_TRUE(std::holds_alternative<Room>(room)) << std::get<std::string>(room);
    const Room& r = std::get<Room>(room);
    EXPECT_EQ(r.sub.distanceM, 2.1);
    EXPECT_TRUE(r.sub.reversed);
    EXPECT_EQ(r.sub.response.size(), DefaultRoom().sub.response.size()) << "not named: the default's";
    EXPECT_EQ(r.left.distanceM, DefaultRoom().left.distanceM);
    EXPECT_EQ(r.resonances.size(), 1u);
    EXPECT_FALSE(r.noise.dbfs > -200.0);
    EXPECT_FALSE(r.reverb.On()) << "no reverberation unless named";
    EXPECT_TRUE(std::holds_alternative<Room>(ParseRoom(R"({"left": {"distanceM": 100}, "noise": {"dbfs": 0}})")))
        << "the ends of a range belong to it";
    for (const char* text : {R"({"reverb": {"rt60": 0.3}})", R"({"reverb": {"rt60": 2, "levelDb": -30}})"}) {
        const auto reverberant = ParseRoom(text);
        ASSERT_TRUE(std::holds_alternative<Room>(reverberant)) << text;
        EXPECT_TRUE(std::get<Room>(reverberant).reverb.On()) << text;
    }

    const std::pair<const char*, const char*> kRefused[] = {
        {R"({"sub": {"distance": 2}})", "sub.distance: not a member"},
        {R"({"left": {"distanceM": 0}})", "left.distanceM: 0"},
        {R"({"right": {"response": [{"type": "notch", "hz": 100}]}})", "right.response[0].type"},
        {R"({"resonances": [{"type": "peak"}]})", "resonances[0].hz: missing"},
        {R"({"noise": {"color": "brown"}})", "noise.color"},
        {R"({"reverb": {"rt60": 0.29}})", "reverb.rt60: 0.29"},
        {R"({"reverb": {"rt60": 2.01}})", "reverb.rt60: 2.01"},
        {R"({"reverb": {"levelDb": -20}})", "reverb.rt60: missing"},
        {"[1, 2", "not JSON"},
    };
    for (const auto& [text, reason] : kRefused) {
        const auto refused = ParseRoom(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(refused)) << text;
        EXPECT_NE(std::get<std::string>(refused).find(reason), std::string::npos) << std::get<std::string>(refused);
    }
}

TEST(AudioPathTest, ARoomFilesPositionsTakeTheRoomsOwnWhereTheyNameNothing)
{
    const auto room = ParseRoom(R"({"left": {"distanceM": 2.0},
                                    "resonances": [{"type": "peak", "hz": 50, "q": 4, "gainDb": 3}],
                                    "positions": [{}, {"leftM": 5.5, "subM": 0.1, "resonances": []}]})");
    ASSERT_TRUE(std::holds_alternative<Room>(room)) << std::get<std::string>(room);
    const Room& r = std::get<Room>(room);
    ASSERT_EQ(r.PositionCount(), 2);
    EXPECT_EQ(r.At(1).left.distanceM, 2.0);
    EXPECT_EQ(r.At(1).resonances.size(), 1u);
    EXPECT_EQ(r.At(2).left.distanceM, 5.5);
    EXPECT_EQ(r.At(2).right.distanceM, DefaultRoom().right.distanceM);
    EXPECT_EQ(r.At(2).sub.distanceM, 0.1);
    EXPECT_TRUE(r.At(2).resonances.empty());
    EXPECT_EQ(r.At(2).PositionCount(), 1);
    const auto none = ParseRoom(R"({"left": {"distanceM": 2.0}})");
    EXPECT_EQ(std::get<Room>(none).PositionCount(), 1) << "not the built-in room's four";

    const std::pair<const char*, const char*> kRefused[] = {
        {R"({"positions": []})", "positions: not 1 .. 16"},
        {R"({"positions": {}})", "positions: not a list"},
        {R"({"positions": [{"leftM": 0.09}]})", "positions[0].leftM: 0.09"},
        {R"({"positions": [{}, {"seat": 1}]})", "positions[1].seat: not a member"},
        {R"({"positions": [{"resonances": [{"type": "peak"}]}]})", "positions[0].resonances[0].hz: missing"},
    };
    for (const auto& [text, reason] : kRefused) {
        const auto refused = ParseRoom(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(refused)) << text;
        EXPECT_NE(std::get<std::string>(refused).find(reason), std::string::npos) << std::get<std::string>(refused);
    }
    std::string sixteen = R"({"positions": [{})";
    for (int i = 1; i < 16; ++i) sixteen += ", {}";
    EXPECT_EQ(std::get<Room>(ParseRoom(sixteen + "]}")).PositionCount(), 16);
    EXPECT_TRUE(std::holds_alternative<std::string>(ParseRoom(sixteen + ", {}]}")));
}

// Moved while it plays, the microphone hears the new position's distance
// and resonances from the next block on, as that position's truth says.
TEST(AudioPathTest, TheMicrophoneMovesToAPositionAndHearsItsTruth)
{
    const Room room = QuietRoom();
    const Image leftAlone = WithParameter({232, 128, 1});
    AudioPath path(room, leftAlone);
    EXPECT_FALSE(path.MoveMicrophone(0));
    EXPECT_FALSE(path.MoveMicrophone(room.PositionCount() + 1));
    EXPECT_EQ(path.Position(), 1);
    ASSERT_EQ(room.PositionCount(), 4);
    ASSERT_TRUE(path.MoveMicrophone(4));
    const auto heard = ImpulseResponse(path, true, false, 48000);
    const AudioPath fourth(room.At(4), leftAlone), first(room.At(1), leftAlone);
    for (const double hz : {160.0, 1000.0}) {
        const double truthDb = 20 * std::log10(std::abs(fourth.Response(Output::Left, hz)));
        EXPECT_NEAR(20 * std::log10(std::abs(Spectrum(heard, hz))), truthDb, 0.1) << hz;
    }
    // Only the fourth seat has the 160 Hz mode.
    EXPECT_GT(std::abs(fourth.Response(Output::Left, 160.0)) / std::abs(first.Response(Output::Left, 160.0)), 2.0);
    const auto peak = std::max_element(heard.begin(), heard.end(),
                                       [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_NEAR(static_cast<double>(peak - heard.begin()),
                AudioPath::kLatencySamples + MsToSamples(fourth.ArrivalMs(Output::Left)), 3.0);
}

// The reverberation time of an impulse response from `from` on: Schroeder's
// backward integration, its slope from -5 to -35 dB (T30) made 60 dB.
double Rt60Of(const std::vector<double>& heard, std::size_t from)
{
    std::vector<double> remaining(heard.size() - from + 1, 0.0);
    for (std::size_t i = heard.size(); i-- > from;) remaining[i - from] = remaining[i - from + 1] + heard[i] * heard[i];
    double n = 0, sumX = 0, sumY = 0, sumXx = 0, sumXy = 0;
    for (std::size_t i = 0; i + 1 < remaining.size(); ++i) {
        const double db = 10 * std::log10(remaining[i] / remaining[0]);
        if (db > -5 || db < -35) continue;
        const double t = i / kSampleRate;
        n += 1, sumX += t, sumY += db, sumXx += t * t, sumXy += t * db;
    }
    return -60.0 / ((n * sumXy - sumX * sumY) / (n * sumXx - sumX * sumX));
}

TEST(AudioPathTest, TheReverberationDecaysInTheTimeSetAtItsLevelAfterItsPreDelay)
{
    Room room = QuietRoom();
    room.left.response = {};
    const Image leftAlone = WithParameter({232, 128, 1});  // the Sub muted, input 2 silent
    const double arrival = AudioPath::kLatencySamples + MsToSamples(AudioPath(room, leftAlone).ArrivalMs(Output::Left));
    const auto at = [&](double ms) { return static_cast<std::size_t>(arrival + MsToSamples(ms)); };

    for (const double rt60 : {RoomReverb::kShortestRt60, RoomReverb::kLongestRt60}) {
        AudioPath dry(room, leftAlone);
        const auto direct = ImpulseResponse(dry, true, false, at(1200 * rt60 + 100));
        room.reverb = {rt60, -14.0, 15.0, 7};
        AudioPath path(room, leftAlone);
        const auto heard = ImpulseResponse(path, true, false, direct.size());
        std::vector<double> tail(heard.size());
        for (std::size_t i = 0; i < heard.size(); ++i) tail[i] = heard[i] - direct[i];

        EXPECT_NEAR(Rt60Of(heard, at(room.reverb.preDelayMs)), rt60, 0.15 * rt60);
        EXPECT_NEAR(10 * std::log10(Energy(tail) / Energy(direct)), room.reverb.levelDb, 0.5) << rt60;
        // The direct sound's two delays ring for 2 ms either side of its arrival.
        double early = 0.0;
        for (std::size_t i = 0; i < at(room.reverb.preDelayMs - 2.1); ++i) early = std::max(early, std::abs(tail[i]));
        EXPECT_EQ(early, 0.0) << "the tail starts after the pre-delay";
        EXPECT_GT(Energy({tail.begin(), tail.begin() + at(room.reverb.preDelayMs + 5)}), 0.0);
        room.reverb = {};
    }
}

TEST(AudioPathTest, AReverberationLeftInSilenceComesToZero)
{
    // Exactly zero, not subnormal numbers: 4 s after an impulse a tail of
    // 0.3 s at full level lies 800 dB down.
    Reverb reverb({RoomReverb::kShortestRt60, 0.0, 15.0, 1});
    reverb.Process(1.0);
    double late = 0.0;
    for (int i = 1; i < 4 * kSampleRate; ++i) {
        const double y = reverb.Process(0.0);
        if (i > 3.9 * kSampleRate) late = std::max(late, std::abs(y));
    }
    EXPECT_EQ(late, 0.0);
}

}  // namespace
