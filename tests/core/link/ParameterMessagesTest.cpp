#include <gtest/gtest.h>

#include <vector>

#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "link/Link.h"
#include "model/Model.h"
#include "unit/UnitCommands.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

using Bytes = std::vector<std::uint8_t>;

class ParameterPayloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model = ParameterModel{};
        LoadDefaults(model);
        // Distinct values everywhere, so a byte taken from the wrong field shows.
        for (int s = 0; s < kChannelSlots; ++s) {
            model.gain[s] = 100 + s;
            model.delay[s] = 300 + s;  // above 255: only the low byte travels
            model.hpfType[s] = 3 + s;
            model.hpfFreq[s] = 260 + s;
            model.lpfType[s] = 10 + s;
            model.lpfFreq[s] = 380 + s;
            model.limThreshold[s] = 20 + s;
            model.limAttack[s] = 30 + s;
            model.limHold[s] = 40 + s;
            model.limDecay[s] = 50 + s;
        }
        model.mute[2] = 7;
        model.polarity[0] = 1;
        for (int i = 0; i < kPeqEntries; ++i) {
            model.peqFreq[i] = 250 + i;
            model.peqGain[i] = 120 + i;
            model.peqBandwidth[i] = 10 + i;
        }
    }
};

struct Expected {
    int id;
    Bytes payload;
};

TEST_F(ParameterPayloadTest, EveryChannelIdReadsItsOwnFieldsOfTheModel)
{
    const Expected table[] = {
        {PID_LR_GAIN, {211, 100, 0}},
        {PID_LR_MUTE, {212, 100, 0}},
        {PID_SUB_GAIN, {4, 102, 1}},
        {PID_SUB_MUTE, {232, 102, 1}},
        {PID_LR_PHASE, {127, 1, 0}},
        {PID_SUB_PHASE, {84, 0, 0}},
        {PID_LR_LIMIT_THRESHOLD, {129, 20, 0}},
        {PID_SUB_LIMIT_THRESHOLD, {85, 22, 0}},
        {PID_LR_LIMIT_ATTACK, {162, 30, 0}},
        {PID_SUB_LIMIT_ATTACK, {118, 32, 0}},
        {PID_LR_LIMIT_HOLD, {164, 40, 0}},
        {PID_SUB_LIMIT_HOLD, {120, 42, 0}},
        {PID_LR_LIMIT_DECAY, {165, 50, 0}},
        {PID_SUB_LIMIT_DECAY, {121, 52, 0}},
        {PID_LR_XOVER_ON, {213, 1, 0}},
        {PID_LR_HPF, {59, 3, 0x01, 0x04, 0}},
        {PID_LR_LPF, {69, 10, 0x01, 0x7C, 0}},
        {PID_SUB_HPF, {39, 5, 0x01, 0x06, 0}},
        {PID_SUB_LPF, {49, 12, 0x01, 0x7E, 0}},
        {PID_RESET, {250, 0x10, 0x23}},
    };
    for (const Expected& row : table) EXPECT_EQ(ParameterPayload(model, row.id), row.payload) << "id " << row.id;
}

TEST_F(ParameterPayloadTest, WorkedFramesComeOutByteForByte)
{
    model.gain[0] = 128;
    model.hpfType[2] = 3;
    model.hpfFreq[2] = 65;
    const Bytes header{0x56, 0x4E, 0x42, 0x31, 0x30};
    auto framed = [&](Bytes rest) {
        rest.insert(rest.begin(), header.begin(), header.end());
        return rest;
    };
    EXPECT_EQ(FrameOf(ParameterPayload(model, PID_LR_GAIN)), framed({0x03, 0xD3, 0x80, 0x00, 0x53, 0x53}));
    EXPECT_EQ(FrameOf(ParameterPayload(model, PID_SUB_HPF)), framed({0x05, 0x27, 0x03, 0x00, 0x41, 0x00, 0x6B, 0x53}));
    EXPECT_EQ(FrameOf(ParameterPayload(model, PID_RESET)), framed({0x03, 0xFA, 0x10, 0x23, 0x2D, 0x53}));
}

TEST_F(ParameterPayloadTest, DelayFollowsTheEditedChannelAndSendsTheLowByte)
{
    model.curChannel = 2;
    EXPECT_EQ(ParameterPayload(model, PID_DELAY), (Bytes{79, 302 & 0xFF, 0}));
    model.curChannel = 0;
    EXPECT_EQ(ParameterPayload(model, PID_DELAY), (Bytes{122, 300 & 0xFF, 0}));
    model.curChannel = 1;
    EXPECT_EQ(ParameterPayload(model, PID_DELAY), (Bytes{122, 300 & 0xFF, 0}));
}

TEST_F(ParameterPayloadTest, PeqCodeNamesChannelAndBandAndAllFourIdsAgree)
{
    const int codes[3][3] = {{5, 10, 15}, {5, 5, 5}, {24, 29, 34}};
    for (int channel = 0; channel < 3; ++channel) {
        for (int band = 0; band < 3; ++band) {
            model.curChannel = channel;
            model.curBand = band;
            const int i = PeqIndex(channel, band);
            const Bytes expected{static_cast<std::uint8_t>(codes[channel][band]),
                                 static_cast<std::uint8_t>(120 + i),
                                 static_cast<std::uint8_t>(43 - (10 + i)),
                                 static_cast<std::uint8_t>((250 + i) >> 8),
                                 static_cast<std::uint8_t>((250 + i) & 0xFF),
                                 0,
                                 0};
            for (int id : {PID_PEQ_FLAT, PID_PEQ_GAIN, PID_PEQ_FREQ, PID_PEQ_BANDWIDTH})
                EXPECT_EQ(ParameterPayload(model, id), expected) << "channel " << channel << " band " << band;
        }
    }
}

TEST_F(ParameterPayloadTest, PeqMessageCarriesTheShelfFlagsOfEveryBandOfTheChannel)
{
    model.curChannel = 2;
    model.curBand = 2;
    model.peqHiShelf[PeqIndex(2, 0)] = 1;
    model.peqLoShelf[PeqIndex(2, 1)] = 5;
    model.peqLoShelf[PeqIndex(2, 2)] = 1;
    model.peqHiShelf[PeqIndex(0, 2)] = 1;  // another channel: not in the byte
    model.peqFlat[PeqIndex(2, 2)] = 9;
    model.peqBandwidth[PeqIndex(2, 2)] = 18;
    Bytes payload = ParameterPayload(model, PID_PEQ_GAIN);
    ASSERT_EQ(payload.size(), 7u);
    EXPECT_EQ(payload[0], 34);
    EXPECT_EQ(payload[2], 25);
    EXPECT_EQ(payload[5], 1);
    EXPECT_EQ(payload[6], 0x01 | 0x20 | 0x40);
    // A step outside the editors' range wraps as it does in the image.
    model.peqBandwidth[PeqIndex(2, 2)] = 50;
    EXPECT_EQ(ParameterPayload(model, PID_PEQ_BANDWIDTH)[2], static_cast<std::uint8_t>(43 - 50));
}

TEST_F(ParameterPayloadTest, CursorsOutsideTheModelReadBandZeroOfLeftRight)
{
    model.curChannel = 9;
    model.curBand = -4;
    const Bytes payload = ParameterPayload(model, PID_PEQ_FREQ);
    ASSERT_EQ(payload.size(), 7u);
    EXPECT_EQ(payload[0], 5);
    EXPECT_EQ(payload[1], 120);
    model.curChannel = 0;
    model.curBand = 3;
    EXPECT_EQ(ParameterPayload(model, PID_PEQ_FREQ)[1], 120);
}

TEST_F(ParameterPayloadTest, UnknownIdHasNoPayloadAndIsNotSent)
{
    EXPECT_TRUE(ParameterPayload(model, 1000).empty());
    EXPECT_TRUE(ParameterPayload(model, 5).empty());  // a wire code, not an id
    model.connected = 1;
    Link link(model);
    EXPECT_EQ(SendParameter(link, 1000), 3);
}

}  // namespace
