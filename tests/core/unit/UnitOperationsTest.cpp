// The UI-free operations against the emulated unit: the connect sequence,
// store / recall, the memory file both ways, reset and logo.
#include "EmulatedUnitTest.h"
#include "memfile/MemoryFile.h"
#include "unit/UnitCommands.h"
#include "unit/UnitOperations.h"

namespace {

class UnitOperationsTest : public EmulatedUnitTest {
protected:
    // An image unlike the factory one: Left&Right gain 100, Sub delay 42.
    static std::array<std::uint8_t, 62> DistinctImage()
    {
        ParameterModel distinct{};
        LoadDefaults(distinct);
        distinct.gain[0] = 100;
        distinct.delay[2] = 42;
        return ModelImage(distinct);
    }
    std::vector<std::uint8_t> firmTypesStored_;
    std::function<void(std::uint8_t)> storeFirmType_ = [this](std::uint8_t t) { firmTypesStored_.push_back(t); };
};

TEST_F(UnitOperationsTest, ConnectReadsTheSixNamesAndTheCurrentSettingInOrder)
{
    unit_.SetCurrentImage(DistinctImage());
    unit_.SetMemory(2, {true, "Bass heavy      ", DistinctImage()});
    unit_.SetMemory(5, {false, "                ", {}});

    ASSERT_EQ(ConnectUnit(link, storeFirmType_), ConnectResult::Connected);
    EXPECT_EQ(model.connected, 1);
    EXPECT_EQ(model.gain[0], 100);
    EXPECT_EQ(model.delay[2], 42);
    EXPECT_STREQ(model.memName[1], "Bass heavy");
    EXPECT_EQ(model.memUsed[1], 1);
    EXPECT_STREQ(model.memName[4], " ");
    EXPECT_EQ(model.memUsed[4], 0);
    EXPECT_EQ(firmTypesStored_, std::vector<std::uint8_t>{0});

    std::vector<Bytes> expected{{0xC9, 0x00}};
    for (std::uint8_t slot = 1; slot <= 6; ++slot) expected.push_back({0xCE, slot, 0x00});
    expected.push_back({0xCD, 0x00});
    EXPECT_EQ(unit_.ReceivedPayloads(), expected);
    EXPECT_EQ(link.Recogniser().ExpectedReply(), kReplyIdle);
}

TEST_F(UnitOperationsTest, UnsupportedFirmwareTypeBecomesZeroAndTheModelStartsFromDefaults)
{
    model.firmType = 5;
    model.gain[2] = 20;                            // not in the unit's image either way: the read-back decides
    unit_.SetFaults({.hangUpAfterExchanges = 7});  // the current-setting read goes unanswered
    const ConnectReport report = ConnectUnitWithReport(link, storeFirmType_);
    ASSERT_EQ(report.result, ConnectResult::CurrentReadFailed);
    EXPECT_EQ(report.replacedFirmType, std::optional<std::uint8_t>{5});
    EXPECT_EQ(model.firmType, 0);
    EXPECT_EQ((std::vector<std::uint8_t>{5, 0}), firmTypesStored_);
    EXPECT_EQ(model.gain[2], 128);
    EXPECT_EQ(model.connected, 1);  // a failed read does not end the connection
}

TEST_F(UnitOperationsTest, FirmwareTypesOfIndexZeroSurviveTheConnect)
{
    EXPECT_EQ(FirmwareIndex(9), 9);
    EXPECT_EQ(FirmwareIndex(14), 0);
    EXPECT_EQ(FirmwareIndex(15), -1);  // beyond the table: unsupported

    model.firmType = 12;  // maps to index 0: kept
    ASSERT_EQ(ConnectUnit(link, storeFirmType_), ConnectResult::Connected);
    EXPECT_EQ(model.firmType, 12);
}

TEST_F(UnitOperationsTest, NameThatCannotBeReadKeepsItsPreviousEntry)
{
    std::strcpy(model.memName[3], "Old four");
    model.memUsed[3] = 0;
    for (int slot = 1; slot <= 6; ++slot) unit_.SetMemory(slot, {true, "Fresh           ", {}});
    // Connect and three names are answered; then the unit vanishes.
    unit_.SetFaults({.hangUpAfterExchanges = 4});
    EXPECT_EQ(ConnectUnit(link, storeFirmType_), ConnectResult::CurrentReadFailed);
    EXPECT_STREQ(model.memName[2], "Fresh");
    EXPECT_STREQ(model.memName[3], "Old four");
    EXPECT_EQ(model.memUsed[3], 0);
    EXPECT_STREQ(model.memName[5], "Preset 6  ");
}

TEST_F(UnitOperationsTest, ConnectWhileConnectedDisconnectsAndAFailedHandshakeLeavesItSo)
{
    Connected();
    EXPECT_EQ(ConnectUnit(link, storeFirmType_), ConnectResult::HandshakeFailed);
    EXPECT_EQ(model.connected, 0);
    EXPECT_EQ(unit_.ReceivedPayloads(), std::vector<Bytes>{Bytes({0xCA, 0x00})});

    unit_.SetFaults({.silent = true});
    EXPECT_EQ(ConnectUnit(link, storeFirmType_), ConnectResult::HandshakeFailed);
    EXPECT_EQ(model.connected, 0);
    EXPECT_TRUE(firmTypesStored_.empty());
}

TEST_F(UnitOperationsTest, StoreTrimsTheNameAndAnEmptyOneBecomesTheDefault)
{
    Connected();
    model.gain[2] = 77;
    ASSERT_EQ(StoreMemorySlot(link, 2, "Vocal  \t "), kResultDone);
    EXPECT_EQ(unit_.Memory(2).name, "Vocal           ");
    EXPECT_EQ(unit_.Memory(2).image, ModelImage(model));
    EXPECT_STREQ(model.memName[1], "Vocal");

    ASSERT_EQ(StoreMemorySlot(link, 3, "   "), kResultDone);
    EXPECT_EQ(unit_.Memory(3).name, "2 x 2 WAY + Msum");
    EXPECT_STREQ(model.memName[2], "2 x 2 WAY ");
    // The name a store gives, without the unit, is the one its directory lists.
    EXPECT_EQ(StoredMemoryName("Vocal  \t "), model.memName[1]);
    EXPECT_EQ(StoredMemoryName("   "), model.memName[2]);
}

TEST_F(UnitOperationsTest, RecallPutsTheSlotIntoTheModelAndAFailureLeavesItAlone)
{
    Connected();
    unit_.SetMemory(3, {true, "Three           ", DistinctImage()});
    ASSERT_EQ(RecallMemorySlot(link, 3), kResultDone);
    EXPECT_EQ(model.gain[0], 100);
    EXPECT_EQ(unit_.ReceivedPayloads().back(), (Bytes{0xCC, 3}));

    model.gain[0] = 90;
    unit_.SetFaults({.silent = true});
    EXPECT_EQ(RecallMemorySlot(link, 3), kResultNoAnswer);
    EXPECT_EQ(model.gain[0], 90);
}

TEST_F(UnitOperationsTest, MemoryFileHoldsUsedSlotsFromTheUnitAndNamesEveryUsedSlotItCouldNotRead)
{
    Connected();
    unit_.SetMemory(1, {true, "One             ", DistinctImage()});
    model.memUsed[1] = 0;  // the program believes slot 2 is empty: not read
    std::strcpy(model.memName[0], "One");
    const auto current = ModelImage(model);

    const UnitMemoryFile read = ReadMemoryFileFromUnit(link);
    EXPECT_TRUE(read.Complete());
    const MemoryFileImage& file = read.bytes;
    const SlotRecord first = ReadSlotRecord(file, 0);
    EXPECT_EQ(first.usedByte, 1);
    EXPECT_STREQ(first.name, "One");
    EXPECT_TRUE(std::equal(current.begin(), current.end(), ReadSlotRecord(file, 1).imageBlock.begin()));
    EXPECT_EQ(ReadSlotRecord(file, 1).usedByte, 0);
    const auto distinct = DistinctImage();
    EXPECT_TRUE(std::equal(distinct.begin(), distinct.end(), first.imageBlock.begin()));
    std::vector<Bytes> expected;
    for (std::uint8_t slot : {1, 3, 4, 5, 6}) expected.push_back({0xD0, slot});
    EXPECT_EQ(unit_.ReceivedPayloads(), expected);

    // A unit that falls silent after two reads: the rest are named, never
    // filled in with the current setting.
    unit_.ClearReceived();
    unit_.SetFaults({.silentAfterExchanges = unit_.Exchanges() + 2});
    EXPECT_EQ(ReadMemoryFileFromUnit(link).unreadSlots, (std::vector<int>{4, 5, 6}));

    // Not connected: nothing is sent and every used memory is unread.
    model.connected = 0;
    unit_.ClearReceived();
    const UnitMemoryFile offline = ReadMemoryFileFromUnit(link);
    EXPECT_FALSE(offline.Complete());
    EXPECT_EQ(offline.unreadSlots, (std::vector<int>{1, 3, 4, 5, 6}));
    EXPECT_TRUE(unit_.ReceivedBytes().empty());
}

TEST_F(UnitOperationsTest, LoadingAFileStoresEachUsedRecordIntoItsSlot)
{
    std::array<SlotRecord, 6> records{};
    const auto distinct = DistinctImage();
    records[0].usedByte = 1;
    std::strcpy(records[0].name, "From file");
    std::copy(distinct.begin(), distinct.end(), records[0].imageBlock.begin());
    records[1].usedByte = 2;  // not exactly 1: skipped
    records[4].usedByte = 1;
    std::strcpy(records[4].name, "Five");
    const MemoryFileImage file = BuildMemoryFile(records);

    // Not connected: the first store fails and stops the load.
    const LoadFileReport offline = LoadMemoryFileIntoUnit(link, file);
    EXPECT_EQ(offline.result, LoadFileResult::DownloadFailed);
    EXPECT_EQ(offline.failedSlot, 1);
    EXPECT_TRUE(offline.storedSlots.empty());

    Connected();
    const LoadFileReport report = LoadMemoryFileIntoUnit(link, file);
    ASSERT_EQ(report.result, LoadFileResult::Loaded);
    EXPECT_EQ(report.storedSlots, (std::vector<int>{1, 5}));
    EXPECT_EQ(DescribeLoad(report),
              "2 memories stored: 1, 5.\nSkipped: memory 2 (used byte 2, not a stored program), memory 3 (marked "
              "empty in the file), memory 4 (marked empty in the file), memory 6 (marked empty in the file).");
    EXPECT_EQ(unit_.Memory(1).name, "From file       ");
    EXPECT_EQ(unit_.Memory(1).image, distinct);
    EXPECT_EQ(unit_.Memory(5).name, "Five            ");
    const std::vector<Bytes> expected{{0xCB, 1}, {0xCB, 5}};
    EXPECT_EQ(unit_.ReceivedPayloads(), expected);
}

TEST_F(UnitOperationsTest, LoadRejectsAFileWithoutTrailerAndRestoresIntoMemoriesTheUnitMarksEmpty)
{
    Connected();
    std::array<SlotRecord, 6> records{};
    records[2].usedByte = 1;
    std::strcpy(records[2].name, "Backup");
    const MemoryFileImage file = BuildMemoryFile(records);
    EXPECT_EQ(LoadMemoryFileIntoUnit(link, std::span(file).first(690)).result, LoadFileResult::FormatError);
    EXPECT_TRUE(unit_.ReceivedBytes().empty());

    unit_.SetMemory(3, {false, "                ", {}});
    model.memUsed[2] = 0;
    EXPECT_EQ(LoadMemoryFileIntoUnit(link, file).storedSlots, (std::vector<int>{3}));
    EXPECT_TRUE(unit_.Memory(3).used);
    EXPECT_EQ(unit_.Memory(3).name, "Backup          ");
}

TEST_F(UnitOperationsTest, ResetSendsTheResetMessageAndReadsEverythingBack)
{
    Connected();
    unit_.SetCurrentImage(DistinctImage());
    unit_.SetMemory(6, {false, "Gone            ", {}});
    model.gain[0] = 100;
    EXPECT_EQ(ResetUnit(link), kResultDone);
    EXPECT_EQ(unit_.ReceivedPayloads().front(), (Bytes{0xFA, 0x10, 0x23}));
    EXPECT_EQ(unit_.ReceivedPayloads().size(), 8u);
    EXPECT_EQ(model.gain[0], 128);
    EXPECT_EQ(model.memUsed[5], 1);
    EXPECT_STREQ(model.memName[5], "Preset 6");
}

TEST_F(UnitOperationsTest, LogoLinesAreCutPaddedAndSevenBit)
{
    Connected();
    std::array<std::string, 2> padded;
    EXPECT_EQ(WriteLogo(link, "ABC", "Caf\xE9 sound system 2026", &padded), kResultDone);
    EXPECT_EQ(padded[0], "ABC" + std::string(17, ' '));
    EXPECT_EQ(padded[1], "Cafi sound system 20");
    EXPECT_STREQ(model.logoText, (padded[0] + padded[1]).c_str());
    EXPECT_EQ(unit_.Logo(), "ABC" + std::string(13, ' ') + "Cafi sound syste");

    model.connected = 0;
    EXPECT_EQ(WriteLogo(link, "New", "Text", &padded), kResultNotConnected);
    EXPECT_EQ(padded[0], "New" + std::string(17, ' '));  // kept even though nothing was sent
}

}  // namespace
