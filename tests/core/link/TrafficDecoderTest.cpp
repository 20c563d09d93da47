// The traffic log's reading of every kind of message, and its agreement
// with the code that builds them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "link/ReplyRecogniser.h"
#include "link/TrafficDecoder.h"
#include "model/Model.h"
#include "model/Scales.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TrafficEvent Sent(Bytes bytes, int expectedReply = kReplyQ)
{
    return {TrafficKind::Sent, {}, std::move(bytes), expectedReply, 0, {}};
}
TrafficEvent Received(Bytes bytes) { return {TrafficKind::Received, {}, std::move(bytes), 0, 0, {}}; }
TrafficEvent Framed(const Bytes& payload, int expectedReply = kReplyQ) { return Sent(FrameOf(payload), expectedReply); }

// Every message the parameter ids send, from both channels and all bands,
// reads back as a message that builds to the very same bytes.
TEST(TrafficDecoder, EveryParameterMessageReadsBackToTheBytesItWasBuiltFrom)
{
    ParameterModel model{};
    LoadDefaults(model);
    model.gain[kSlotSub] = 122;
    model.mute[kSlotSub] = 1;
    model.peqHiShelf[PeqIndex(kSlotSub, 2)] = 1;
    model.peqFreq[PeqIndex(kSlotLeftRight, 1)] = 300;
    model.delay[kSlotSub] = 42;
    for (const int id : kAllParameterIds)
        for (const int slot : {kSlotLeftRight, kSlotSub})
            for (int band = 0; band < kPeqBands; ++band) {
                model.curChannel = slot;
                model.curBand = band;
                const Bytes payload = ParameterPayload(model, id);
                const auto reading = ReadParameterPayload(payload);
                ASSERT_TRUE(reading) << "id " << id;
                ParameterModel rebuilt = reading->values;
                rebuilt.curChannel = reading->slot;
                rebuilt.curBand = reading->band;
                EXPECT_EQ(ParameterPayload(rebuilt, reading->id), payload) << "id " << id;
            }
    // Bytes the builder cannot make are no message: a mute flag of 2, a wrong length.
    EXPECT_FALSE(ReadParameterPayload(Bytes{PID_LR_GAIN, 128, 2}));
    EXPECT_FALSE(ReadParameterPayload(Bytes{PID_LR_GAIN, 128}));
}

TEST(TrafficDecoder, SentMessagesAreNamedWithTheirValues)
{
    ParameterModel model{};
    LoadDefaults(model);
    model.gain[kSlotLeftRight] = 122;
    model.delay[kSlotSub] = 25;
    model.limThreshold[kSlotLeftRight] = kThresholdStepOff;
    model.curChannel = kSlotSub;
    model.curBand = 1;
    TrafficDecoder decoder;
    const auto meaning = [&decoder](const TrafficEvent& event) { return decoder.Decode(event).meaning; };

    EXPECT_EQ(meaning(Sent({kAttentionByte}, kReplyP)), "attention");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeConnect, 0), ReplyBlock(16))), "connect");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeDisconnect, 0))), "disconnect");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeReadCurrent, 0))), "read the current setting");
    EXPECT_EQ(meaning(Framed(ReadMemoryNamePayload(4))), "read the name of memory 4");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeReadMemory, 2))), "read memory 2");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeRecallMemory, 5))), "recall memory 5");
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeDeleteMemory, 6))), "delete memory 6");
    EXPECT_EQ(meaning(Framed(ParameterPayload(model, PID_LR_GAIN))), "gain Left&Right -3.0dB");
    EXPECT_EQ(meaning(Framed(ParameterPayload(model, PID_DELAY))), "delay Sub 2.5 mS");
    EXPECT_EQ(meaning(Framed(ParameterPayload(model, PID_LR_LIMIT_THRESHOLD))), "limiter threshold Left&Right Off");
    EXPECT_EQ(meaning(Framed(ParameterPayload(model, PID_PEQ_GAIN))),
              "PEQ Sub band 2: 0.0dB " + std::string(FreqLabelAt(model.peqFreq[PeqIndex(kSlotSub, 1)])) + " " +
                  BandwidthText(model.peqBandwidth[PeqIndex(kSlotSub, 1)], 0, 0) + ", flat off");
    EXPECT_EQ(meaning(Framed(ParameterPayload(model, PID_RESET))), "reset to the factory setting");

    // The blocks after a store or logo command belong to it.
    EXPECT_EQ(meaning(Framed(CommandPayload(kCodeStoreMemory, 3), kReplyAny)), "store memory 3");
    const std::uint8_t image[62] = {};
    const auto block = StoreImageBlock(image);
    EXPECT_EQ(meaning(Sent(Bytes(block.begin(), block.end()), kReplyS)), "store memory 3: image");
    const char typed[kNameChars + 1] = "Hall";  // as the store sends it: the name, then zeros
    const auto name = StoreNameField(typed);
    EXPECT_EQ(meaning(Sent(Bytes(name.begin(), name.end()), ReplyBlock(3))), "store memory 3 'Hall'");
    EXPECT_EQ(meaning(Framed(LogoCommandPayload(), kReplyAny)), "write the logo");
    const std::string logoText = std::string("QUENBAR").append(13, ' ') + std::string("LIVE ROOM").append(11, ' ');
    const auto logo = LogoBytes(logoText.c_str());
    EXPECT_EQ(meaning(Sent(Bytes(logo.begin(), logo.end()))), "logo \"QUENBAR\" \"LIVE ROOM\"");

    Bytes broken = FrameOf(CommandPayload(kCodeConnect, 0));
    broken[7] ^= 1;  // the sum no longer fits
    EXPECT_EQ(meaning(Sent(broken)), "10 bytes, not a frame");
}

TEST(TrafficDecoder, AnswersGarbageTimeOutsAndHangUpsAreToldApart)
{
    TrafficDecoder decoder;
    const auto meaning = [&decoder](const TrafficEvent& event) { return decoder.Decode(event).meaning; };

    decoder.Decode(Sent({kAttentionByte}, kReplyP));
    EXPECT_EQ(meaning(Received({0x00, 0x7F, 0x50, 0x51})),
              "2 garbage bytes ignored, attention acknowledged, 1 byte ignored: no step awaits it");

    decoder.Decode(Framed(CommandPayload(kCodeConnect, 0), ReplyBlock(kConnectReplySize)));
    Bytes answer{kConnectAccepted};
    for (const char c : std::string("RX7.4 EMULATOR ")) answer.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(meaning(Received(Bytes(answer.begin(), answer.begin() + 6))), "connect answer, 6 of 16 bytes");
    EXPECT_EQ(meaning(Received(Bytes(answer.begin() + 6, answer.end()))), "connect answer, 16 of 16 bytes");
    EXPECT_EQ(meaning({TrafficKind::Answered, {}, answer, ReplyBlock(kConnectReplySize), 12, {}}),
              "answered after 12 ms: connection accepted by \"RX7.4 EMULATOR\"");

    decoder.Decode(Framed(ReadMemoryNamePayload(3), ReplyBlock(kMemoryNameReplySize)));
    Bytes nameAnswer{3, 1, 'H', 'a', 'l', 'l'};
    nameAnswer.resize(kMemoryNameReplySize, ' ');
    EXPECT_EQ(meaning({TrafficKind::Answered, {}, nameAnswer, ReplyBlock(kMemoryNameReplySize), 4, {}}),
              "answered after 4 ms: memory 3 'Hall'");

    decoder.Decode(Sent({kAttentionByte}, kReplyP));
    EXPECT_EQ(meaning({TrafficKind::TimedOut, {}, {}, kReplyP, 1000, {}}),
              "time-out after 1000 ms waiting for the attention answer \"P\"");
    EXPECT_EQ(meaning({TrafficKind::HungUp, {}, {}, 0, 0, {}}), "hang-up: the device went away");
    EXPECT_EQ(meaning({TrafficKind::Note, {}, {}, 0, 0, "the driver refused to raise DTR (not needed)"}),
              "the driver refused to raise DTR (not needed)");
    EXPECT_EQ(meaning({TrafficKind::OpenFailed, {}, {}, 0, 0, "/dev/ttyS2: no such device.\nCheck it."}),
              "open failed: /dev/ttyS2: no such device. Check it.");
}

TEST(TrafficDecoder, LinesCarryTimeDirectionAndHex)
{
    TrafficDecoder decoder;
    const auto start = std::chrono::steady_clock::now();
    TrafficEvent attention = Sent({kAttentionByte}, kReplyP);
    attention.time = start;
    TrafficEvent answer = Received({0x50});
    answer.time = start + std::chrono::milliseconds(7);
    EXPECT_EQ(FormatTrafficLine(decoder.Decode(attention)), "      0 ms  ->  attention  [FA]");
    EXPECT_EQ(FormatTrafficLine(decoder.Decode(answer)), "      7 ms  <-  attention acknowledged  [50]");
}

}  // namespace
