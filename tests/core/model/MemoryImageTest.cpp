#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "model/MemoryImage.h"
#include "model/Model.h"
#include "model/Scales.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

using Image = std::array<std::uint8_t, kImageSize>;
using Block = std::array<std::uint8_t, kChannelBlockSize>;

// Offsets within a channel block that the tests poke at.
constexpr std::size_t kFlags = 0, kGain = 1, kDelay = 2, kHpfType = 4, kHpfFreq = 5, kLpfType = 7, kLpfFreq = 8,
                      kThreshold = 10, kAttack = 11, kPeqGain = 16, kPeqBandwidth = 19, kPeqFreq = 22, kShelves = 28;

const Block kDefaultBlock = {0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B,
                             0x0A, 0x0A, 0x0A, 0x69, 0x2B, 0x80, 0x80, 0x80, 0x19, 0x19, 0x19,
                             0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};

class MemoryImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }

    static Block PackedBlock(int slot)
    {
        Block block{};
        PackChannel(model, block.data(), slot);
        return block;
    }

    static void UnpackDefaultBlockWith(int slot, std::size_t offset, std::uint8_t value)
    {
        Block block = kDefaultBlock;
        block[offset] = value;
        UnpackChannel(model, block.data(), slot);
    }
};

// Every field of a channel with the range that survives an image unchanged.
struct ChannelField {
    int (ParameterModel::*values)[kChannelSlots];
    int low, high;
};
struct PeqField {
    int (ParameterModel::*values)[kPeqEntries];
    int low, high;
};
using P = ParameterModel;
constexpr ChannelField kChannelFields[] = {{&P::gain, 8, 140},        {&P::mute, 0, 1},        {&P::polarity, 0, 1},
                                           {&P::delay, 0, 65535},     {&P::hpfType, 0, 25},    {&P::hpfFreq, 0, 394},
                                           {&P::lpfType, 0, 25},      {&P::lpfFreq, 0, 394},   {&P::xoverOn, 0, 1},
                                           {&P::limThreshold, 0, 62}, {&P::limAttack, 0, 255}, {&P::limHold, 0, 255},
                                           {&P::limDecay, 0, 255}};
constexpr PeqField kPeqFields[] = {{&P::peqFreq, 0, 394}, {&P::peqGain, 0, 255},  {&P::peqBandwidth, -212, 43},
                                   {&P::peqFlat, 0, 1},   {&P::peqHiShelf, 0, 1}, {&P::peqLoShelf, 0, 1}};

std::vector<int> ChannelValues(const ParameterModel& m, int slot)
{
    std::vector<int> values;
    for (const ChannelField& field : kChannelFields) values.push_back((m.*field.values)[slot]);
    for (int band = 0; band < kPeqBands; ++band)
        for (const PeqField& field : kPeqFields) values.push_back((m.*field.values)[PeqIndex(slot, band)]);
    return values;
}

void RandomiseChannel(std::mt19937& rng, int slot)
{
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (const ChannelField& field : kChannelFields) (model.*field.values)[slot] = pick(field.low, field.high);
    for (int band = 0; band < kPeqBands; ++band)
        for (const PeqField& field : kPeqFields)
            (model.*field.values)[PeqIndex(slot, band)] = pick(field.low, field.high);
}

TEST_F(MemoryImageTest, DefaultModelPacksBothBlocksToTheFactoryBytesAndNoFurther)
{
    std::array<std::uint8_t, kImageSize + 2> buffer;
    buffer.fill(0xA5);
    ModelToImage(model, buffer.data());
    for (std::size_t i = 0; i < kImageSize; ++i)
        EXPECT_EQ(buffer[i], kDefaultBlock[i % kChannelBlockSize]) << "byte " << i;
    EXPECT_EQ(buffer[kImageSize], 0xA5);
    EXPECT_EQ(buffer[kImageSize + 1], 0xA5);
}

TEST_F(MemoryImageTest, PacksFlagsShelvesAndWordsAtTheirBitsAndBigEndian)
{
    model.mute[kSlotSub] = 1;
    model.polarity[kSlotSub] = 7;  // any non-zero value is a set flag
    model.xoverOn[kSlotSub] = 0;
    model.peqFlat[PeqIndex(kSlotSub, 2)] = 1;
    model.peqHiShelf[PeqIndex(kSlotSub, 1)] = 1;
    model.peqLoShelf[PeqIndex(kSlotSub, 2)] = 1;
    model.delay[kSlotSub] = 300;
    model.peqFreq[PeqIndex(kSlotSub, 1)] = 0x0155;
    model.peqBandwidth[PeqIndex(kSlotSub, 2)] = 41;

    Image image{};
    ModelToImage(model, image.data());
    const std::uint8_t* sub = image.data() + kChannelBlockSize;
    EXPECT_EQ(sub[kFlags], 0x80 | 0x40 | 0x04);
    EXPECT_EQ(sub[kShelves], 0x02 | 0x40);
    EXPECT_EQ(sub[kDelay], 0x01);
    EXPECT_EQ(sub[kDelay + 1], 0x2C);
    EXPECT_EQ(sub[kPeqFreq + 2], 0x01);
    EXPECT_EQ(sub[kPeqFreq + 3], 0x55);
    EXPECT_EQ(sub[kPeqBandwidth + 2], 2);
    // The Left&Right block is still the factory one.
    EXPECT_TRUE(std::equal(kDefaultBlock.begin(), kDefaultBlock.end(), image.begin()));
}

TEST_F(MemoryImageTest, UnpackingClampsGainTypesFrequenciesAndThreshold)
{
    UnpackDefaultBlockWith(0, kGain, 0);
    EXPECT_EQ(model.gain[0], 8);
    UnpackDefaultBlockWith(0, kGain, 200);
    EXPECT_EQ(model.gain[0], 140);
    UnpackDefaultBlockWith(0, kHpfType, 26);
    EXPECT_EQ(model.hpfType[0], 25);
    UnpackDefaultBlockWith(0, kLpfType, 255);
    EXPECT_EQ(model.lpfType[0], 25);
    UnpackDefaultBlockWith(0, kThreshold, 63);
    EXPECT_EQ(model.limThreshold[0], 62);

    Block block = kDefaultBlock;
    for (std::size_t word : {kHpfFreq, kLpfFreq, kPeqFreq, kPeqFreq + 2, kPeqFreq + 4}) {
        block[word] = 0x01;
        block[word + 1] = 0x90;  // 400
    }
    block[kDelay] = 0xFF;
    block[kDelay + 1] = 0xFF;
    block[kAttack] = 255;
    block[kPeqGain] = 255;
    UnpackChannel(model, block.data(), kSlotSub);
    EXPECT_EQ(model.hpfFreq[kSlotSub], 394);
    EXPECT_EQ(model.lpfFreq[kSlotSub], 394);
    for (int band = 0; band < kPeqBands; ++band) EXPECT_EQ(model.peqFreq[PeqIndex(kSlotSub, band)], 394);
    // Taken as they are.
    EXPECT_EQ(model.delay[kSlotSub], 65535);
    EXPECT_EQ(model.limAttack[kSlotSub], 255);
    EXPECT_EQ(model.peqGain[PeqIndex(kSlotSub, 0)], 255);
}

TEST_F(MemoryImageTest, AnyBandwidthByteSurvivesTheRoundTripWithoutReachingPastTheTable)
{
    for (int byte = 0; byte < 256; ++byte) {
        UnpackDefaultBlockWith(kSlotSub, kPeqBandwidth + 1, static_cast<std::uint8_t>(byte));
        const int step = model.peqBandwidth[PeqIndex(kSlotSub, 1)];
        EXPECT_EQ(step, 43 - byte);
        EXPECT_EQ(PackedBlock(kSlotSub)[kPeqBandwidth + 1], byte);
        const bool inTable = step >= 2 && step <= 41;
        EXPECT_EQ(BandwidthOctaves(step).has_value(), inTable) << step;
        if (!inTable) {
            EXPECT_EQ(BandwidthText(step, 0, 0), kBandwidthOutOfRangeText);
        }
    }
    UnpackDefaultBlockWith(0, kPeqBandwidth, 50);
    EXPECT_EQ(model.peqBandwidth[0], -7);
}

TEST_F(MemoryImageTest, UnpackingLeavesSlotOneAndTheEditingStateAlone)
{
    model.gain[1] = 99;
    model.peqFreq[PeqIndex(1, 2)] = 12;
    model.curChannel = 2;
    model.curBand = 1;
    model.memUsed[4] = 0;
    const ParameterModel before = model;

    Image image;
    image.fill(0xFF);
    ImageToModel(model, image.data());
    EXPECT_EQ(ChannelValues(model, 1), ChannelValues(before, 1));
    EXPECT_EQ(model.curChannel, 2);
    EXPECT_EQ(model.curBand, 1);
    EXPECT_EQ(model.memUsed[4], 0);
    EXPECT_EQ(std::memcmp(model.memName, before.memName, sizeof model.memName), 0);
    EXPECT_EQ(model.mute[kSlotSub], 1);
    EXPECT_EQ(model.peqLoShelf[PeqIndex(kSlotSub, 2)], 1);
}

TEST_F(MemoryImageTest, PackingThenUnpackingGivesTheSameChannelsBack)
{
    std::mt19937 rng(74);
    for (int round = 0; round < 500; ++round) {
        RandomiseChannel(rng, kSlotLeftRight);
        RandomiseChannel(rng, kSlotSub);
        const ParameterModel packed = model;
        Image image;
        ModelToImage(model, image.data());

        model = ParameterModel{};
        LoadDefaults(model);
        ImageToModel(model, image.data());
        ASSERT_EQ(ChannelValues(model, kSlotLeftRight), ChannelValues(packed, kSlotLeftRight)) << round;
        ASSERT_EQ(ChannelValues(model, kSlotSub), ChannelValues(packed, kSlotSub)) << round;
    }
}

}  // namespace
