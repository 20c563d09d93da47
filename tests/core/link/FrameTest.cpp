#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "link/Frame.h"
#include "model/Model.h"
#include "unit/MemoryDirectory.h"

namespace {

// The model these tests read and write.
ParameterModel model{};

using Bytes = std::vector<std::uint8_t>;

TEST(BuildFrame, WrapsPayloadsInHeaderLengthChecksumAndTrailer)
{
    EXPECT_EQ(FrameOf(Bytes{0xFB, 0x25, 0x8A}),
              (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x03, 0xFB, 0x25, 0x8A, 0xAA, 0x53}));
    EXPECT_EQ(FrameOf(Bytes{0xC9, 0x00}), (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x02, 0xC9, 0x00, 0xC9, 0x53}));
    EXPECT_EQ(FrameOf(Bytes{}), (Bytes{0x56, 0x4E, 0x42, 0x31, 0x30, 0x00, 0x00, 0x53}));
}

TEST(BuildFrame, InPlaceCutsAPayloadBeyond192BytesAndSumsOnlyWhatIsSent)
{
    Bytes buffer(208);
    std::iota(buffer.begin(), buffer.begin() + 200, std::uint8_t{1});
    const Bytes payload(buffer.begin(), buffer.begin() + 200);
    ASSERT_EQ(BuildFrame(buffer.data(), 200), 200);
    EXPECT_EQ(buffer[5], 192);
    EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + 192, buffer.begin() + 6));
    EXPECT_EQ(buffer[198], std::accumulate(payload.begin(), payload.begin() + 192, 0) % 256);
    EXPECT_EQ(buffer[199], 0x53);
}

class MemoryDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model = ParameterModel{};
        LoadDefaults(model);
    }
    static void Reply(int slot, std::uint8_t used, const char* name16)
    {
        std::uint8_t reply[18] = {0, used};
        std::memcpy(reply + 2, name16, 16);
        ApplyMemoryNameReply(model, slot, reply);
    }
};

TEST_F(MemoryDirectoryTest, NameRepliesLoseTrailingBlanksKeepTheirFirstCharacterAndAreCutToTen)
{
    Reply(1, 1, "Abc             ");
    Reply(2, 1, "                ");
    Reply(3, 2, "ABCDEFGHIJKLMNOP");
    Reply(4, 0, "Two words       ");
    EXPECT_STREQ(model.memName[0], "Abc");
    EXPECT_STREQ(model.memName[1], " ");
    EXPECT_STREQ(model.memName[2], "ABCDEFGHIJ");
    EXPECT_STREQ(model.memName[3], "Two words");
    // Used exactly when the reply's flag is 1.
    EXPECT_EQ((std::vector<int>(model.memUsed, model.memUsed + 4)), (std::vector<int>{1, 1, 0, 0}));
}

TEST_F(MemoryDirectoryTest, StoredNameKeepsItsCharactersAndSlotsOutsideOneToSixChangeNothing)
{
    SetMemoryEntry(model, 5, "N\xE9\tx\0           ", true);
    EXPECT_STREQ(model.memName[4], "N\xE9\tx");
    EXPECT_EQ(model.memUsed[4], 1);
    const ParameterModel before = model;
    SetMemoryEntry(model, 0, "AAAAAAAAAAAAAAAA", true);
    SetMemoryEntry(model, 7, "AAAAAAAAAAAAAAAA", true);
    EXPECT_EQ(std::memcmp(&before, &model, sizeof model), 0);
}

}  // namespace
