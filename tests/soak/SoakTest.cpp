// Long runs of parameter messages and connect sequences through the real
// transport against an emulated unit that misbehaves in a seeded mix of
// ways. Each exchange must end with the result its fault calls for, within
// its deadline, and the unit must have received exactly the frames the
// program believes it sent: no acknowledgement lost, none accepted that the
// unit never gave. Memory must stay flat over the run.
//
// QUENBAR_SOAK_MESSAGES, QUENBAR_SOAK_CONNECTS and QUENBAR_SOAK_SEED size the
// run; scripts/soak.sh runs the full one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "link/Link.h"
#include "model/MemoryImage.h"
#include "model/Model.h"
#include "tests/soak/SoakRig.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

using namespace soak;

namespace {

// Growth of the resident set over a run that still counts as flat.
constexpr long kFlatMemoryKiB = 4096;
constexpr int kLongestBenignStretch = 200;
constexpr int kLongestDelayedStretch = 20;  // each of its replies waits up to a tenth of a time-out
constexpr int kConnectFrames = 8;           // handshake, six names, current setting

using Image = std::array<std::uint8_t, kImageSize>;

Image RandomImage(std::mt19937& random)
{
    Image image;
    for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
    return image;
}

// The image a model holds after unpacking `image` and packing it again.
Image Normalised(const Image& image)
{
    ParameterModel model{};
    ImageToModel(model, image.data());
    Image normalised;
    ModelToImage(model, normalised.data());
    return normalised;
}

Image ModelImage(const ParameterModel& model)
{
    Image image;
    ModelToImage(model, image.data());
    return image;
}

std::string RandomName(std::mt19937& random)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name(std::uniform_int_distribution<std::size_t>(1, kMemNameMaxLength)(random), ' ');
    for (char& c : name) c = kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

void RandomiseModel(ParameterModel& model, std::mt19937& random)
{
    ImageToModel(model, RandomImage(random).data());
    model.curChannel = (random() % 2) * kSlotSub;
    model.curBand = static_cast<int>(random() % kPeqBands);
}

// How many messages run under one fault: a failing fault ends its stretch
// with the first failure.
int StretchLength(Fault fault, int hangUpAfter, std::mt19937& random)
{
    if (fault == Fault::ShortDelay) return std::uniform_int_distribution<int>(1, kLongestDelayedStretch)(random);
    if (Benign(fault)) return std::uniform_int_distribution<int>(1, kLongestBenignStretch)(random);
    return fault == Fault::HangUp ? hangUpAfter + 1 : 1;
}

// The result a fault calls for; `index` counts the exchanges of its stretch.
int ExpectedParameterResult(Fault fault, int index, int hangUpAfter)
{
    if (Benign(fault)) return kResultDone;
    if (fault == Fault::HangUp && index < hangUpAfter) return kResultDone;
    return kResultNoAnswer;
}

ConnectResult ExpectedConnectResult(Fault fault)
{
    if (Benign(fault)) return ConnectResult::Connected;
    if (fault == Fault::HangUp) return ConnectResult::CurrentReadFailed;  // the unit leaves after 1..7 frames
    return ConnectResult::HandshakeFailed;
}

// Frames the unit answers in a connect sequence under a fault.
int FramesAnsweredInConnect(Fault fault, int hangUpAfter)
{
    if (Benign(fault)) return kConnectFrames;
    if (fault == Fault::WrongConnect) return 1;  // the handshake, answered wrongly
    if (fault == Fault::HangUp) return hangUpAfter;
    return 0;
}

std::vector<Bytes> ConnectPayloads()
{
    std::vector<Bytes> payloads{CommandPayload(kCodeConnect, 0)};
    for (int slot = 1; slot <= kMemorySlots; ++slot) payloads.push_back(ReadMemoryNamePayload(slot));
    payloads.push_back(CommandPayload(kCodeReadCurrent, 0));
    return payloads;
}

void ReportCounts(const char* what, const std::map<Fault, long>& counts)
{
    for (const auto& [fault, count] : counts) std::printf("  %-40s %ld %s\n", FaultName(fault), count, what);
}

void ExpectFlatMemory(long beforeKiB, long afterKiB)
{
    std::printf("  resident set %ld KiB after warm-up, %ld KiB at the end\n", beforeKiB, afterKiB);
    if (SanitizerHoldsMemory()) return;  // its quarantine grows; its leak checker watches instead
    EXPECT_LE(afterKiB - beforeKiB, kFlatMemoryKiB);
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadDefaults(model);
        ASSERT_TRUE(rig_.Open());
    }

    SoakSize size_ = SoakSizeFromEnvironment();
    std::mt19937 random_{size_.seed};
    SoakRig rig_;
    ParameterModel& model = rig_.Model();
    Link& link = rig_.UnitLink();
};

TEST_F(SoakTest, EveryParameterMessageEndsWithTheRightResultAndTheUnitSawExactlyItsFrames)
{
    using enum Fault;
    FaultDeck deck({None, None, None, None, None, None, Split, Split, Split, Garbage, Garbage, Garbage, ShortDelay,
                    ShortDelay, LateReply, Silent, NoFrameAck, HangUp},
                   random_);
    model.connected = 1;
    std::map<Fault, long> exchanges;
    long sent = 0;
    long residentAfterWarmUp = 0;
    while (sent < size_.messages) {
        const Fault fault = deck.Draw();
        rig_.Apply(fault, random_);
        RandomiseModel(model, random_);
        const int stretch = StretchLength(fault, rig_.HangUpAfter(), random_);
        const int exchangesBefore = rig_.Unit().Exchanges();
        std::vector<Bytes> framesTheUnitMustHave;
        int acknowledged = 0;
        for (int i = 0; i < stretch && sent < size_.messages; ++i, ++sent) {
            const int id = kAllParameterIds[random_() % std::size(kAllParameterIds)];
            const Bytes payload = ParameterPayload(model, id);
            const auto start = Clock::now();
            const int result = SendParameter(link, id);
            const long elapsed = ElapsedMs(start);
            const int expected = ExpectedParameterResult(fault, i, rig_.HangUpAfter());
            ASSERT_EQ(result, expected) << "message " << sent << " (" << i + 1 << " of " << stretch << ") id " << id
                                        << " under " << FaultName(fault) << " after " << elapsed << " ms";
            ASSERT_LE(elapsed, 2 * kStepTimeoutMs + kDeadlineSlackMs) << "message " << sent;
            // A live line fails a message only once its time-out has run out;
            // a line whose unit hung up fails it at once.
            if (result != kResultDone && fault != HangUp) {
                ASSERT_GE(elapsed, kStepTimeoutMs - 5) << "gave up early, message " << sent;
            }
            if (result == kResultDone || fault == NoFrameAck) framesTheUnitMustHave.push_back(payload);
            acknowledged += result == kResultDone;
            ++exchanges[fault];
        }
        ASSERT_EQ(rig_.Unit().ReceivedPayloads(), framesTheUnitMustHave) << "stretch under " << FaultName(fault);
        ASSERT_EQ(rig_.FramesAnsweredSince(exchangesBefore, acknowledged), acknowledged)
            << "stretch under " << FaultName(fault);
        if (fault == Silent || fault == LateReply) {
            ASSERT_EQ(rig_.Unit().ReceivedBytes(), Bytes{kAttentionByte});
        }
        ASSERT_TRUE(rig_.Recover(fault));
        if (residentAfterWarmUp == 0) residentAfterWarmUp = ResidentKiB();
    }
    std::printf("%ld parameter messages, seed %u:\n", sent, size_.seed);
    ReportCounts("messages", exchanges);
    ExpectFlatMemory(residentAfterWarmUp, ResidentKiB());
}

TEST_F(SoakTest, EveryConnectSequenceEndsWithTheRightResultAndLeavesTheUnitsSettingInTheModel)
{
    using enum Fault;
    FaultDeck deck({None, None, None, None, None, None, Split, Split, Split, Garbage, Garbage, Garbage, ShortDelay,
                    ShortDelay, LateReply, Silent, WrongConnect, HangUp},
                   random_);
    const std::vector<Bytes> connectPayloads = ConnectPayloads();
    const Bytes disconnectPayload = CommandPayload(kCodeDisconnect, 0);
    std::map<Fault, long> sequences;
    long residentAfterWarmUp = 0;
    for (long n = 0; n < size_.connects; ++n) {
        const Fault fault = deck.Draw();
        const Image unitImage = RandomImage(random_);
        rig_.Unit().SetCurrentImage(unitImage);
        std::array<std::string, kMemorySlots> names;
        std::array<bool, kMemorySlots> used{};
        for (int slot = 1; slot <= kMemorySlots; ++slot) {
            names[slot - 1] = RandomName(random_);
            used[slot - 1] = random_() % 2 == 1;
            rig_.Unit().SetMemory(slot, {used[slot - 1], names[slot - 1], RandomImage(random_)});
        }
        const Image expectedImage = Normalised(unitImage);
        model = ParameterModel{};
        LoadDefaults(model);
        rig_.Apply(fault, random_);
        const int exchangesBefore = rig_.Unit().Exchanges();

        const auto start = Clock::now();
        const ConnectResult result = ConnectUnit(link, [](std::uint8_t) {});
        const long elapsed = ElapsedMs(start);
        ASSERT_EQ(result, ExpectedConnectResult(fault)) << "sequence " << n << " under " << FaultName(fault);
        ASSERT_LE(elapsed, 2 * kConnectFrames * kStepTimeoutMs + kDeadlineSlackMs) << "sequence " << n;
        if (fault == Silent || fault == LateReply) {
            ASSERT_GE(elapsed, kStepTimeoutMs - 5) << "sequence " << n;
            ASSERT_LE(elapsed, kStepTimeoutMs + kDeadlineSlackMs) << "sequence " << n;
        }
        if (fault == HangUp) {  // the steps after the hang-up do not each wait out a time-out
            ASSERT_LE(elapsed, kStepTimeoutMs + kDeadlineSlackMs) << "sequence " << n;
        }
        const int answered = FramesAnsweredInConnect(fault, rig_.HangUpAfter());
        ASSERT_EQ(rig_.FramesAnsweredSince(exchangesBefore, answered), answered) << "sequence " << n;
        if (result == ConnectResult::Connected) {
            ASSERT_EQ(rig_.Unit().ReceivedPayloads(), connectPayloads) << "sequence " << n;
            ASSERT_EQ(ModelImage(model), expectedImage) << "sequence " << n;
            for (int i = 0; i < kMemorySlots; ++i) {
                ASSERT_STREQ(model.memName[i], names[i].c_str()) << "sequence " << n << " slot " << i + 1;
                ASSERT_EQ(model.memUsed[i], used[i] ? 1 : 0) << "sequence " << n << " slot " << i + 1;
            }
        }
        if (model.connected) {
            rig_.Unit().ClearReceived();
            const int answeredBeforeDisconnect = rig_.Unit().Exchanges();
            const auto disconnectStart = Clock::now();
            DisconnectUnit(link);
            ASSERT_LE(ElapsedMs(disconnectStart), kStepTimeoutMs + kDisconnectTimeoutMs + kDeadlineSlackMs);
            if (Benign(fault)) {
                ASSERT_EQ(rig_.Unit().ReceivedPayloads(), std::vector<Bytes>{disconnectPayload});
                ASSERT_EQ(rig_.FramesAnsweredSince(answeredBeforeDisconnect, 1), 1) << "sequence " << n;
            }
        }
        ++sequences[fault];
        ASSERT_TRUE(rig_.Recover(fault));
        if (residentAfterWarmUp == 0) residentAfterWarmUp = ResidentKiB();
    }
    std::printf("%ld connect sequences, seed %u:\n", size_.connects, size_.seed);
    ReportCounts("sequences", sequences);
    ExpectFlatMemory(residentAfterWarmUp, ResidentKiB());
}

}  // namespace
