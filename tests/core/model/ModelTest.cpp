#include <gtest/gtest.h>

#include <cstring>

#include "model/Model.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

class LoadDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { model = ParameterModel{}; }
};

TEST_F(LoadDefaultsTest, GivesEveryChannelAndBandItsFactoryValue)
{
    LoadDefaults(model);
    for (int slot = 0; slot < kChannelSlots; ++slot) {
        EXPECT_EQ(model.gain[slot], 128);
        EXPECT_EQ(model.mute[slot], 0);
        EXPECT_EQ(model.polarity[slot], 0);
        EXPECT_EQ(model.delay[slot], 0);
        EXPECT_EQ(model.hpfType[slot], 0);
        EXPECT_EQ(model.hpfFreq[slot], 65);
        EXPECT_EQ(model.lpfType[slot], 0);
        EXPECT_EQ(model.lpfFreq[slot], 382);
        EXPECT_EQ(model.xoverOn[slot], 1);
        EXPECT_EQ(model.limThreshold[slot], 11);
        EXPECT_EQ(model.limAttack[slot], 10);
        EXPECT_EQ(model.limHold[slot], 10);
        EXPECT_EQ(model.limDecay[slot], 10);
    }
    for (int i = 0; i < kPeqEntries; ++i) {
        EXPECT_EQ(model.peqFreq[i], 238);
        EXPECT_EQ(model.peqGain[i], 128);
        EXPECT_EQ(model.peqBandwidth[i], 18);
        EXPECT_EQ(model.peqFlat[i] | model.peqHiShelf[i] | model.peqLoShelf[i], 0);
    }
    EXPECT_EQ(model.curChannel, 0);
    EXPECT_EQ(model.curMemory, 1);
}

TEST_F(LoadDefaultsTest, NamesEachMemoryPresetWithTwoTrailingBlanks)
{
    LoadDefaults(model);
    for (int n = 1; n <= kMemorySlots; ++n) {
        const std::string expected = "Preset " + std::to_string(n) + "  ";
        EXPECT_STREQ(model.memName[n - 1], expected.c_str());
        EXPECT_EQ(model.memUsed[n - 1], 1);
        // Nothing after the terminator at byte 10.
        for (int i = kMemNameMaxLength; i < kMemNameBuffer; ++i) EXPECT_EQ(model.memName[n - 1][i], '\0');
    }
}

TEST_F(LoadDefaultsTest, LeavesConnectionBandFirmwareAndLogoAlone)
{
    model.connected = 1;
    model.curBand = 2;
    model.firmType = 7;
    std::strcpy(model.logoText, "HELLO");
    model.curChannel = 2;
    EXPECT_EQ(LoadDefaults(model), 1);
    EXPECT_EQ(model.connected, 1);
    EXPECT_EQ(model.curBand, 2);
    EXPECT_EQ(model.firmType, 7);
    EXPECT_STREQ(model.logoText, "HELLO");
    EXPECT_EQ(model.curChannel, 0);
}

}  // namespace
