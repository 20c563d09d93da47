#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "link/Frame.h"
#include "link/MemoryDirectory.h"
#include "model/Model.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BuildFrame, WrapsWorkedPayloadsInHeaderLengthChecksumAndTrailer) {
    EXPECT_EQ(FrameOf(Bytes{0xFB, 0x25, 0x8A}),
              (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x03, 0xFB, 0x25, 0x8A, 0xAA, 0x53}));
    EXPECT_EQ(FrameOf(Bytes{0xC9, 0x00}), (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x02, 0xC9, 0x00, 0xC9, 0x53}));
    EXPECT_EQ(FrameOf(Bytes{}), (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x00, 0x00, 0x53}));
}

TEST(BuildFrame, FramesInPlaceAndReturnsTheFrameLength) {
    std::uint8_t buffer[16] = {0xD3, 0x80, 0x00};
    ASSERT_EQ(BuildFrame(buffer, 3), 11);
    const Bytes expected{0x56, 0x4E, 0x42, 0x31, 0x30, 0x03, 0xD3, 0x80, 0x00, 0x53, 0x53};
    EXPECT_EQ(Bytes(buffer, buffer + 11), expected);
}

TEST(BuildFrame, CutsAPayloadBeyond192BytesAndSumsOnlyWhatIsSent) {
    Bytes payload(200);
    std::iota(payload.begin(), payload.end(), std::uint8_t{1});
    const Bytes frame = FrameOf(payload);
    ASSERT_EQ(frame.size(), 200u);
    EXPECT_EQ(frame[5], 192);
    EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + 192, frame.begin() + 6));
    const int sum = std::accumulate(payload.begin(), payload.begin() + 192, 0);
    EXPECT_EQ(frame[198], sum % 256);
    EXPECT_EQ(frame[199], 0x53);

    // The in-place form takes the same cut.
    Bytes buffer = payload;
    buffer.resize(208);
    EXPECT_EQ(BuildFrame(buffer.data(), 200), 200);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), buffer.begin()));
}

TEST(CommandBytes, ReadNameHasThreeBytesAndLogoCommandItsConstants) {
    EXPECT_EQ(ReadMemoryNamePayload(4), (Bytes{0xCE, 0x04, 0x00}));
    EXPECT_EQ(LogoCommandPayload(), (Bytes{0xFB, 0x25, 0x8A}));
    EXPECT_EQ(CommandPayload(kCodeDeleteMemory, 6), (Bytes{0x2E, 0x06}));
}

TEST(CommandBytes, StoreBlockIsTheImageAndTwoZeros) {
    std::uint8_t image[62];
    std::iota(std::begin(image), std::end(image), std::uint8_t{0x80});
    const auto block = StoreImageBlock(image);
    EXPECT_TRUE(std::equal(std::begin(image), std::end(image), block.begin()));
    EXPECT_EQ(block[62], 0);
    EXPECT_EQ(block[63], 0);
}

TEST(CommandBytes, StoreNameFieldSendsABlankForControlAndNonAsciiCharacters) {
    const char name[16] = {'A', '\t', static_cast<char>(0xE9), 'B', '\0', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' ', static_cast<char>(0x7F)};
    const auto field = StoreNameField(name);
    EXPECT_EQ(field[0], 0x01);
    EXPECT_EQ(Bytes(field.begin() + 1, field.begin() + 6), (Bytes{'A', ' ', ' ', 'B', ' '}));
    EXPECT_EQ(field[16], 0x7F);
}

TEST(CommandBytes, LogoBytesAreTheFirstSixteenCharactersOfEachLine) {
    const char logo[41] = "ABCDEFGHIJKLMNOPQRSTabcdefghijklmnopqrst";
    const auto bytes = LogoBytes(logo);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ABCDEFGHIJKLMNOPabcdefghijklmnop");
}

class MemoryDirectoryTest : public ::testing::Test {
   protected:
    void SetUp() override {
        model = ParameterModel{};
        LoadDefaults();
    }
    static Bytes Reply(std::uint8_t used, const char* name16) {
        Bytes reply(18, 0);
        reply[1] = used;
        std::memcpy(reply.data() + 2, name16, 16);
        return reply;
    }
};

TEST_F(MemoryDirectoryTest, TrailingBlanksGoButTheFirstCharacterStays) {
    ApplyMemoryNameReply(1, Reply(1, "Abc             ").data());
    ApplyMemoryNameReply(2, Reply(1, "                ").data());
    ApplyMemoryNameReply(3, Reply(1, "ABCDEFGHIJKLMNOP").data());
    ApplyMemoryNameReply(4, Reply(1, "Two words       ").data());
    EXPECT_STREQ(model.memName[0], "Abc");
    EXPECT_STREQ(model.memName[1], " ");
    EXPECT_STREQ(model.memName[2], "ABCDEFGHIJ");
    EXPECT_STREQ(model.memName[3], "Two words");
}

TEST_F(MemoryDirectoryTest, UsedOnlyWhenTheReplyFlagIsExactlyOne) {
    ApplyMemoryNameReply(1, Reply(2, "X               ").data());
    ApplyMemoryNameReply(2, Reply(1, "Y               ").data());
    ApplyMemoryNameReply(3, Reply(0, "Z               ").data());
    EXPECT_EQ(model.memUsed[0], 0);
    EXPECT_EQ(model.memUsed[1], 1);
    EXPECT_EQ(model.memUsed[2], 0);
}

TEST_F(MemoryDirectoryTest, StoredNameKeepsItsCharactersAndZeroPaddingEndsIt) {
    const char name[16] = {'N', static_cast<char>(0xE9), '\t', 'x', '\0', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    SetMemoryEntry(5, name, true);
    EXPECT_STREQ(model.memName[4], "N\xE9\tx");
    EXPECT_EQ(model.memUsed[4], 1);
}

TEST_F(MemoryDirectoryTest, SlotsOutsideOneToSixChangeNothing) {
    const ParameterModel before = model;
    SetMemoryEntry(0, "AAAAAAAAAAAAAAAA", true);
    SetMemoryEntry(7, "AAAAAAAAAAAAAAAA", true);
    EXPECT_EQ(std::memcmp(&before, &model, sizeof model), 0);
}

}  // namespace
