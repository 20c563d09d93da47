// The emulated unit's answers, checked with hand-written bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/emulator/RawLine.h"

namespace {

using namespace std::chrono_literals;

// One factory channel block, as the unit keeps it.
const Bytes kFactoryBlock = {0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B,
                             0x0A, 0x0A, 0x0A, 0x69, 0x2B, 0x80, 0x80, 0x80, 0x19, 0x19, 0x19,
                             0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};

std::array<std::uint8_t, 62> FactoryImage()
{
    std::array<std::uint8_t, 62> image{};
    std::copy(kFactoryBlock.begin(), kFactoryBlock.end(), image.begin());
    std::copy(kFactoryBlock.begin(), kFactoryBlock.end(), image.begin() + 31);
    return image;
}

Bytes ImageOf(const Bytes& reply) { return Bytes(reply.begin(), reply.begin() + 62); }
Bytes ToBytes(const std::array<std::uint8_t, 62>& image) { return Bytes(image.begin(), image.end()); }

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(emu.started);
        ASSERT_TRUE(emu.line.IsOpen());
    }
    Bytes ReadCurrent() { return emu.line.Command({0xCD, 0x00}, 65); }
    EmulatedLine emu;
};

TEST_F(EmulatorTest, AnswersAttentionConnectAndReadsLikeTheUnit)
{
    const Bytes connect = emu.line.Command({0xC9, 0x00}, 16);
    ASSERT_EQ(connect.size(), 16u);
    EXPECT_EQ(connect[0], 0x51);

    const Bytes current = ReadCurrent();
    ASSERT_EQ(current.size(), 65u);
    EXPECT_EQ(ImageOf(current), ToBytes(FactoryImage()));

    const Bytes name = emu.line.Command({0xCE, 0x05, 0x00}, 21);
    ASSERT_EQ(name.size(), 21u);
    EXPECT_EQ(name[1], 1);
    EXPECT_EQ(std::string(name.begin() + 2, name.begin() + 18), "Preset 5        ");
    EXPECT_EQ(emu.unit.Exchanges(), 3);
}

TEST_F(EmulatorTest, IgnoresFramesWithAWrongSumTrailerOrWithoutAttention)
{
    Bytes badSum = Frame({0xC9, 0x00});
    badSum[8] ^= 0x01;
    Bytes badTrailer = Frame({0xC9, 0x00});
    badTrailer.back() = 0x54;
    Bytes tooLong = {0x56, 0x4E, 0x42, 0x31, 0x30, 193};
    for (const Bytes& bad : {badSum, badTrailer, tooLong}) {
        ASSERT_EQ(emu.line.Exchange({0xFA}, 1), Bytes{0x50});
        EXPECT_TRUE(emu.line.Exchange(bad, 1, 150ms).empty());
    }
    EXPECT_TRUE(emu.line.Exchange(Frame({0xC9, 0x00}), 1, 150ms).empty()) << "a frame needs an attention byte first";
    // Noise between messages does not disturb the next exchange.
    emu.line.Write({0x00, 0x56, 0x4E, 0x13});
    EXPECT_EQ(emu.line.Command({0xC9, 0x00}, 16).size(), 16u);
    EXPECT_EQ(emu.unit.ReceivedPayloads(), (std::vector<Bytes>{{0xC9, 0x00}, {0xC9, 0x00}}));
}

TEST_F(EmulatorTest, DropsAFrameLeftHalfWayAndHearsTheNextOne)
{
    ASSERT_EQ(emu.line.Exchange({0xFA}, 1), Bytes{0x50});
    const Bytes frame = Frame({0xCD, 0x00});
    emu.line.Write(Bytes(frame.begin(), frame.begin() + 7));
    EXPECT_TRUE(emu.line.Read(1, 700ms).empty());
    EXPECT_EQ(ReadCurrent().size(), 65u);
}

TEST_F(EmulatorTest, StoresAMemoryThatReadsAndRecallsBack)
{
    Bytes image(62);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(3 * i + 1);
    ASSERT_EQ(emu.line.Command({0xCB, 0x04}, 1).size(), 1u);
    Bytes block = image;
    block.resize(64, 0x00);
    ASSERT_EQ(emu.line.Exchange(block, 1), Bytes{0x53});
    Bytes name{0x01};
    for (char c : std::string("Stage left      ")) name.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(emu.line.Exchange(name, 3).size(), 3u);

    const Bytes nameReply = emu.line.Command({0xCE, 0x04, 0x00}, 21);
    ASSERT_EQ(nameReply.size(), 21u);
    EXPECT_EQ(nameReply[1], 1);
    EXPECT_EQ(std::string(nameReply.begin() + 2, nameReply.begin() + 18), "Stage left      ");
    EXPECT_EQ(ImageOf(emu.line.Command({0xD0, 0x04}, 65)), image);
    EXPECT_EQ(ToBytes(emu.unit.CurrentImage()), ToBytes(FactoryImage())) << "reading a memory does not recall it";

    EXPECT_EQ(ImageOf(emu.line.Command({0xCC, 0x04}, 65)), image);
    EXPECT_EQ(ToBytes(emu.unit.CurrentImage()), image);
    EXPECT_EQ(ImageOf(ReadCurrent()), image);
}

TEST_F(EmulatorTest, StoreWithoutTheNameMarkerLeavesTheMemoryAlone)
{
    ASSERT_EQ(emu.line.Command({0xCB, 0x02}, 1).size(), 1u);
    ASSERT_EQ(emu.line.Exchange(Bytes(64, 0x11), 1), Bytes{0x53});
    EXPECT_TRUE(emu.line.Exchange(Bytes(17, 0x41), 3, 200ms).empty());
    EXPECT_EQ(emu.unit.Memory(2).name, "Preset 2        ");
    EXPECT_EQ(ToBytes(emu.unit.Memory(2).image), ToBytes(FactoryImage()));
}

TEST_F(EmulatorTest, DeletesAMemoryAndIgnoresSlotsOutsideOneToSix)
{
    EXPECT_EQ(emu.line.Command({0x2E, 0x03}, 1), Bytes{0x51});
    EXPECT_FALSE(emu.unit.Memory(3).used);
    EXPECT_EQ(emu.line.Command({0xCE, 0x03, 0x00}, 21).at(1), 0);
    for (std::uint8_t slot : {0, 7}) {
        EXPECT_TRUE(emu.line.Command({0x2E, slot}, 1, 150ms).empty());
        EXPECT_TRUE(emu.line.Command({0xCE, slot, 0x00}, 21, 150ms).empty());
    }
}

// Each parameter message and the image bytes it must change (block offset, value).
struct Edit {
    Bytes payload;
    std::vector<std::pair<std::size_t, std::uint8_t>> changes;
};

TEST_F(EmulatorTest, AppliesEveryParameterMessageToTheCurrentSetting)
{
    const std::vector<Edit> edits = {
        {{211, 100, 1}, {{1, 100}, {0, 0xA0}}},
        {{212, 90, 0}, {{1, 90}, {0, 0x20}}},
        {{4, 70, 1}, {{32, 70}, {31, 0xA0}}},
        {{232, 60, 0}, {{32, 60}, {31, 0x20}}},
        {{127, 1, 0}, {{0, 0x60}}},
        {{84, 1, 0}, {{31, 0x60}}},
        {{122, 125, 0}, {{3, 125}}},
        {{79, 44, 0}, {{34, 44}}},
        {{129, 30, 0}, {{10, 30}}},
        {{85, 31, 0}, {{41, 31}}},
        {{162, 40, 0}, {{11, 40}}},
        {{118, 41, 0}, {{42, 41}}},
        {{164, 50, 0}, {{12, 50}}},
        {{120, 51, 0}, {{43, 51}}},
        {{165, 60, 0}, {{13, 60}}},
        {{121, 61, 0}, {{44, 61}}},
        {{213, 0, 0}, {{0, 0x00}}},
        {{59, 3, 0x01, 0x20, 0}, {{4, 3}, {5, 0x01}, {6, 0x20}}},
        {{69, 5, 0x00, 0x99, 0}, {{7, 5}, {8, 0x00}, {9, 0x99}}},
        {{39, 3, 0x00, 0x41, 0}, {{35, 3}, {36, 0x00}, {37, 0x41}}},
        {{49, 7, 0x01, 0x02, 0}, {{38, 7}, {39, 0x01}, {40, 0x02}}},
        {{5, 140, 25, 0x00, 0x10, 1, 0x11}, {{16, 140}, {19, 25}, {22, 0x00}, {23, 0x10}, {0, 0x21}, {28, 0x11}}},
        {{10, 141, 26, 0x01, 0x11, 0, 0x02}, {{17, 141}, {20, 26}, {24, 0x01}, {25, 0x11}, {28, 0x02}}},
        {{15, 142, 27, 0x00, 0x12, 1, 0x40}, {{18, 142}, {21, 27}, {26, 0x00}, {27, 0x12}, {0, 0x24}, {28, 0x40}}},
        {{24, 143, 28, 0x00, 0x13, 1, 0x01}, {{47, 143}, {50, 28}, {53, 0x00}, {54, 0x13}, {31, 0x21}, {59, 0x01}}},
        {{29, 144, 29, 0x00, 0x14, 1, 0x22}, {{48, 144}, {51, 29}, {55, 0x00}, {56, 0x14}, {31, 0x22}, {59, 0x22}}},
        {{34, 145, 30, 0x01, 0x15, 0, 0x44}, {{49, 145}, {52, 30}, {57, 0x01}, {58, 0x15}, {59, 0x44}}},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(testing::Message() << "code " << int(edit.payload[0]));
        emu.unit.SetCurrentImage(FactoryImage());
        ASSERT_EQ(emu.line.Command(edit.payload, 1), Bytes{0x51});
        Bytes expected = ToBytes(FactoryImage());
        for (auto [offset, value] : edit.changes) expected[offset] = value;
        EXPECT_EQ(ImageOf(ReadCurrent()), expected);
    }
}

TEST_F(EmulatorTest, RejectsParameterMessagesOfTheWrongLength)
{
    EXPECT_TRUE(emu.line.Command({211, 100}, 1, 150ms).empty());
    EXPECT_TRUE(emu.line.Command({59, 3, 0, 0x41}, 1, 150ms).empty());
    EXPECT_EQ(ToBytes(emu.unit.CurrentImage()), ToBytes(FactoryImage()));
}

TEST_F(EmulatorTest, ResetRestoresTheFactorySettingAndMemoriesButKeepsTheLogo)
{
    ASSERT_EQ(emu.line.Command({211, 10, 1}, 1), Bytes{0x51});
    ASSERT_EQ(emu.line.Command({0x2E, 0x06}, 1), Bytes{0x51});
    ASSERT_EQ(emu.line.Command({0xFB, 0x25, 0x8A}, 1).size(), 1u);
    const std::string logo = "Main hall       Quenbar test rig";
    ASSERT_EQ(emu.line.Exchange(Bytes(logo.begin(), logo.end()), 1), Bytes{0x51});
    EXPECT_EQ(emu.unit.Logo(), logo);

    EXPECT_TRUE(emu.line.Command({250, 0x10, 0x24}, 1, 150ms).empty()) << "a reset needs its key";
    EXPECT_FALSE(emu.unit.Memory(6).used);
    EXPECT_EQ(emu.line.Command({250, 0x10, 0x23}, 1), Bytes{0x51});
    EXPECT_EQ(ImageOf(ReadCurrent()), ToBytes(FactoryImage()));
    EXPECT_TRUE(emu.unit.Memory(6).used);
    EXPECT_EQ(emu.unit.Memory(6).name, "Preset 6        ");
    EXPECT_EQ(emu.unit.Logo(), logo);
}

TEST(EmulatorStateTest, KeepsMemoriesCurrentSettingAndLogoInAStateFile)
{
    const std::string path = ::testing::TempDir() + "emulator_state_test.txt";
    Rx74Emulator first;
    std::array<std::uint8_t, 62> image = FactoryImage();
    image[1] = 42;
    first.SetCurrentImage(image);
    first.SetMemory(2, {false, "Gone", image});
    ASSERT_TRUE(first.SaveState(path));

    Rx74Emulator second;
    ASSERT_TRUE(second.LoadState(path));
    EXPECT_EQ(second.CurrentImage(), image);
    EXPECT_FALSE(second.Memory(2).used);
    EXPECT_EQ(second.Memory(2).name, "Gone            ");
    EXPECT_EQ(second.Memory(3).name, "Preset 3        ");

    // A damaged file changes nothing.
    std::FILE* file = std::fopen(path.c_str(), "a");
    std::fputs("memory 9 1 00 00\n", file);
    std::fclose(file);
    Rx74Emulator third;
    EXPECT_FALSE(third.LoadState(path));
    EXPECT_EQ(third.CurrentImage(), FactoryImage());
    std::remove(path.c_str());
}

}  // namespace
