// The online commands against an emulated unit on a pseudo-terminal: what
// they print, their exit codes and messages, and what the unit received.
#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "emulator/Emulator.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"

namespace {

using nlohmann::json;
using Payload = std::vector<std::uint8_t>;

// Connect, six name reads, the current setting; the disconnect closes every run.
const std::vector<Payload> kConnectSequence = {{0xC9, 0x00}, {0xCE, 1, 0}, {0xCE, 2, 0}, {0xCE, 3, 0},
                                               {0xCE, 4, 0}, {0xCE, 5, 0}, {0xCE, 6, 0}, {0xCD, 0x00}};
const Payload kDisconnect = {0xCA, 0x00};

EmulatedMemory Memory(bool used, const std::string& name, const ImageBytes& image = DefaultImage())
{
    EmulatedMemory memory;
    memory.used = used;
    memory.name = name + std::string(16 - name.size(), ' ');
    memory.image = image;
    return memory;
}

class CliOnline : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unit_.Start()); }

    CliRun Cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", unit_.DevicePath()});
        return RunCli(args);
    }

    // The payloads of one run with the connect sequence and the disconnect
    // checked and taken off.
    std::vector<Payload> CommandPayloads()
    {
        std::vector<Payload> payloads = unit_.ReceivedPayloads();
        const std::size_t prefix = kConnectSequence.size();
        EXPECT_GE(payloads.size(), prefix + 1);
        if (payloads.size() < prefix + 1) return {};
        EXPECT_EQ(std::vector<Payload>(payloads.begin(), payloads.begin() + prefix), kConnectSequence);
        EXPECT_EQ(payloads.back(), kDisconnect);
        return {payloads.begin() + prefix, payloads.end() - 1};
    }

    Rx74Emulator unit_;
};

TEST_F(CliOnline, DumpPrintsTheUnitsDirectoryAndCurrentSetting)
{
    unit_.SetMemory(2, Memory(true, "Kick"));
    unit_.SetMemory(5, Memory(false, "Old show"));
    unit_.SetMemory(6, Memory(true, ""));
    ImageBytes image = DefaultImage();
    image[1] = 100;       // Left&Right gain
    image[31 + 7] = 19;   // Sub low-pass type
    image[31 + 20] = 30;  // Sub band 1 bandwidth byte: step 13
    unit_.SetCurrentImage(image);

    const CliRun run = Cli({"dump"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json dump = json::parse(run.out);
    EXPECT_EQ(dump["memories"][1], json({{"slot", 2}, {"used", true}, {"name", "Kick"}}));
    EXPECT_EQ(dump["memories"][4], json({{"slot", 5}, {"used", false}, {"name", "Old show"}}));
    EXPECT_EQ(dump["memories"][5]["name"], " ");  // the first character is never cut
    EXPECT_EQ(dump["settings"]["lr"]["gain"], 100);
    EXPECT_EQ(dump["settings"]["sub"]["lpfType"], 19);
    EXPECT_EQ(dump["settings"]["sub"]["peq"][1]["bandwidth"], 13);
    EXPECT_EQ(dump["settings"]["sub"]["gain"], 128);
    EXPECT_TRUE(CommandPayloads().empty());
}

TEST_F(CliOnline, SetSendsTheOneMessageOfTheFieldClampedToItsEditorsRange)
{
    struct Case {
        std::vector<std::string> args;
        Payload message;
    };
    const Case cases[] = {
        {{"lr", "gain", "300"}, {211, 140, 0}},
        {{"sub", "mute", "1"}, {232, 128, 1}},
        {{"sub", "delay", "200"}, {79, 125, 0}},
        {{"sub", "hpfType", "3"}, {0x27, 3, 0x00, 0x41, 0x00}},
        {{"lr", "lpfFreq", "-4"}, {69, 0, 0, 0, 0}},
        {{"lr", "limThreshold", "5"}, {129, 11, 0}},
        {{"lr", "xoverOn", "0"}, {213, 0, 0}},
        {{"sub", "peq", "2", "gain", "300"}, {34, 248, 25, 0, 238, 0, 0}},
        {{"lr", "peq", "1", "loShelf", "1"}, {10, 128, 25, 0, 238, 0, 0x20}},
    };
    for (const Case& c : cases) {
        unit_.ClearReceived();
        std::vector<std::string> args{"set"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Cli(args);
        ASSERT_EQ(run.exitCode, 0) << args[1] << " " << args[2] << ": " << run.err;
        EXPECT_EQ(CommandPayloads(), std::vector<Payload>{c.message}) << args[1] << " " << args[2];
    }
    // The unit applied the edits: a later read-back shows them.
    EXPECT_EQ(unit_.CurrentImage()[1], 140);
    EXPECT_EQ(unit_.CurrentImage()[31 + 3], 125);
}

// Each value with a unit is sent exactly as the raw step it comes to (the
// crossover pair as the two raw fields would leave it), and printed.
TEST_F(CliOnline, SetWithUnitsSendsTheBytesOfTheEquivalentRawStepAndPrintsTheValueSet)
{
    struct Case {
        std::vector<std::string> units;
        std::vector<std::vector<std::string>> raw;
        std::string printed;
    };
    const Case cases[] = {
        {{"lr", "gain", "-3.5dB"}, {{"lr", "gain", "121"}}, "lr gain -3.5dB (step 121)\n"},
        {{"sub", "hpf", "24dB-butterworth", "80Hz"},
         {{"sub", "hpfType", "22"}, {"sub", "hpfFreq", "108"}},
         "sub hpfType 24dB-butterworth (step 22)\nsub hpfFreq 80.3Hz (step 108)\n"},
        {{"lr", "delay", "1.2ms"}, {{"lr", "delay", "12"}}, "lr delay 1.2ms (step 12)\n"},
        {{"lr", "peq", "2", "freq", "1.25kHz"},
         {{"lr", "peq", "2", "freq", "250"}},
         "lr peq 2 freq 1260Hz (step 250)\n"},
        {{"lr", "peq", "2", "bandwidth", "0.5oct"},
         {{"lr", "peq", "2", "bandwidth", "27"}},
         "lr peq 2 bandwidth 0.486oct (step 27)\n"},
        {{"sub", "peq", "0", "gain", "-2.5dB"},
         {{"sub", "peq", "0", "gain", "103"}},
         "sub peq 0 gain -2.5dB (step 103)\n"},
        {{"sub", "limThreshold", "-3dBu"}, {{"sub", "limThreshold", "25"}}, "sub limThreshold -3dBu (step 25)\n"},
        {{"sub", "limThreshold", "off"}, {{"sub", "limThreshold", "11"}}, "sub limThreshold off (step 11)\n"},
        {{"lr", "mute", "on"}, {{"lr", "mute", "1"}}, "lr mute on (step 1)\n"},
    };
    const auto sent = [this](std::vector<std::string> args) {
        args.insert(args.begin(), "set");
        unit_.ClearReceived();
        const CliRun run = Cli(args);
        EXPECT_EQ(run.exitCode, 0) << args[1] << " " << args[2] << ": " << run.err;
        return std::pair{CommandPayloads(), run.out};
    };
    for (const Case& c : cases) {
        unit_.SetCurrentImage(DefaultImage());
        const auto [units, printed] = sent(c.units);
        EXPECT_EQ(printed, c.printed);
        unit_.SetCurrentImage(DefaultImage());
        std::vector<Payload> raw;
        for (const auto& args : c.raw) raw = sent(args).first;
        EXPECT_EQ(units, raw) << c.printed;
    }
}

TEST_F(CliOnline, SetRefusesWhatNoMessageCarriesWithoutTouchingTheLine)
{
    const std::vector<std::vector<std::string>> refused = {
        {"set", "sub", "xoverOn", "0"},
        {"set", "lr", "volume", "3"},
        {"set", "lr", "gain", "99999999999"},
        {"set", "lr", "peq", "3", "gain", "1"},
        {"set", "lr", "peq", "0", "gain"},
        {"set", "lr", "gain", "-3.3Hz"},
        {"set", "lr", "gain", "3.5"},
        {"set", "sub", "hpf", "80Hz", "90Hz"},
        {"set", "lr", "hpfType", "48dB-bessel"},
        {"set", "lr", "gain", "1e308dB"},
        {"set", "sub", "delay", "100m"},
    };
    for (const auto& args : refused) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.exitCode, 2) << args[1] << " " << args[2];
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_EQ(Cli({"set", "lr", "limThreshold", "+11dBu"}).err,
              "lr limThreshold: \"+11dBu\" is outside -40dBu .. +10dBu\n");
    EXPECT_TRUE(unit_.ReceivedBytes().empty());
}

// `set --help` is where the words are looked up: it names the last filter
// type the editors offer and no type beyond it.
TEST(CliSetHelp, NamesEveryFieldAndTheFilterTypesTheEditorsOffer)
{
    const CliRun help = RunCli({"set", "--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    for (const char* word : {"  gain ", "  limDecay ", "  hiShelf "})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const std::size_t list = help.out.find("Filter types:");
    ASSERT_NE(list, std::string::npos);
    EXPECT_NE(help.out.find(" 48dB-butterworth", list), std::string::npos);
    EXPECT_EQ(help.out.find("48dB-bessel"), std::string::npos);
}

TEST_F(CliOnline, StoreRecallAndDeleteWorkOnTheNamedMemory)
{
    ImageBytes current = DefaultImage();
    current[1] = 90;
    unit_.SetCurrentImage(current);
    const CliRun storeRun = Cli({"store", "4", "Live  "});
    ASSERT_EQ(storeRun.exitCode, 0);
    EXPECT_EQ(storeRun.out, "Stored the current setting in memory 4 as \"Live\".\n");
    EXPECT_EQ(unit_.Memory(4).name, "Live            ");
    EXPECT_TRUE(unit_.Memory(4).used);
    EXPECT_EQ(unit_.Memory(4).image, current);

    ASSERT_EQ(Cli({"store", "5", ""}).exitCode, 0);
    EXPECT_EQ(unit_.Memory(5).name, "2 x 2 WAY + Msum");
    ASSERT_EQ(Cli({"store", "6", "~ A-B ~"}).exitCode, 0);  // both ends of printable ASCII
    EXPECT_EQ(unit_.Memory(6).name, "~ A-B ~         ");

    unit_.ClearReceived();
    for (const std::string name : {"eleven chrs", "tab\there", "caf\xC3\xA9", "del\x7F"}) {
        const CliRun run = Cli({"store", "5", name});
        EXPECT_EQ(run.exitCode, 2) << name;
    }
    EXPECT_EQ(Cli({"store", "7", "x"}).exitCode, 2);
    EXPECT_TRUE(unit_.ReceivedBytes().empty());

    ImageBytes stored = DefaultImage();
    stored[31 + 1] = 60;  // Sub gain
    unit_.SetMemory(2, Memory(true, "Band", stored));
    unit_.ClearReceived();
    const CliRun recall = Cli({"recall", "2"});
    ASSERT_EQ(recall.exitCode, 0) << recall.err;
    const json printed = json::parse(recall.out);
    EXPECT_EQ(printed["settings"]["sub"]["gain"], 60);
    EXPECT_EQ(printed["settings"]["lr"]["gain"], 128);
    EXPECT_EQ(CommandPayloads(), std::vector<Payload>{Payload({0xCC, 2})});

    unit_.ClearReceived();
    const CliRun erased = Cli({"delete", "3"});
    ASSERT_EQ(erased.exitCode, 0);
    EXPECT_EQ(erased.out, "Erased memory 3.\n");
    EXPECT_EQ(CommandPayloads(), std::vector<Payload>{Payload({0x2E, 3})});

    // A memory the unit marks empty is not recalled; --port may follow the command.
    unit_.SetMemory(3, Memory(false, "Gone"));
    unit_.ClearReceived();
    const CliRun empty = RunCli({"recall", "3", "--port", unit_.DevicePath()});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_EQ(empty.err, "Memory 3 is empty: there is nothing to recall.\n");
    EXPECT_TRUE(CommandPayloads().empty());
}

TEST_F(CliOnline, SaveWritesEveryMemoryAndLoadStoresTheUsedOnesBack)
{
    ImageBytes first = DefaultImage();
    first[1] = 20;
    ImageBytes current = DefaultImage();
    current[1] = 70;
    unit_.SetCurrentImage(current);
    unit_.SetMemory(1, Memory(true, "First", first));
    unit_.SetMemory(2, Memory(false, "Empty"));
    const std::string path = TempPath("saved.cmf");
    const CliRun save = Cli({"save", path});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_EQ(save.out, "Save memory data to File.\n" + path +
                            ": 5 memories saved: 1, 3, 4, 5, 6.\nEmpty: 2 (holding the current setting).\n");

    const std::vector<unsigned char> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 704u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 16), "VNB1.00M        ");
    EXPECT_EQ(file[16 + 1], 1);
    EXPECT_EQ(std::string(file.begin() + 32, file.begin() + 38), std::string("First\0", 6));
    EXPECT_EQ(file[16 + 32 + 1], 20);   // memory 1 read from the unit
    EXPECT_EQ(file[128 + 1], 0);        // memory 2 empty ...
    EXPECT_EQ(file[128 + 32 + 1], 70);  // ... and holding the current setting

    const CliRun unwritable = Cli({"save", TempPath("no-such-folder") + "/saved.cmf"});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_EQ(unwritable.err.rfind("Fail to open file.\n", 0), 0u) << unwritable.err;

    unit_.SetMemory(1, Memory(true, "Changed"));
    unit_.SetMemory(2, Memory(true, "Keep me"));
    const CliRun load = Cli({"load", path});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_EQ(load.out,
              "Load from file ok!\n5 memories stored: 1, 3, 4, 5, 6.\nSkipped: memory 2 (marked empty in the file).\n");
    EXPECT_EQ(unit_.Memory(1).name, "First           ");
    EXPECT_EQ(unit_.Memory(1).image, first);
    EXPECT_EQ(unit_.Memory(2).name, "Keep me         ");

    // A sound format around a value the unit never holds: refused, nothing sent.
    std::array<RecordBytes, 6> records;
    records[3].image[31 + 7] = 28;  // Sub low-pass type, one beyond the last
    WriteBytes(path, MemoryFileBytes(records));
    unit_.ClearReceived();
    const CliRun outOfRange = Cli({"load", path});
    EXPECT_EQ(outOfRange.exitCode, 2);
    EXPECT_EQ(outOfRange.err, path + " holds values outside their fields' ranges, which the unit never holds:\n"
                                     "memory 4: Sub lpfType\nNothing was stored.\n");
    EXPECT_TRUE(unit_.ReceivedBytes().empty());

    std::vector<unsigned char> broken = file;
    broken[690] = 'X';
    WriteBytes(path, broken);
    unit_.ClearReceived();
    const CliRun rejected = Cli({"load", path});
    EXPECT_EQ(rejected.exitCode, 2);
    EXPECT_EQ(rejected.err, "File format error!\n" + path + ": no trailer.\n");
    EXPECT_TRUE(unit_.ReceivedBytes().empty());
}

TEST_F(CliOnline, ResetPrintsTheFactorySettingReadBackAndLogoWritesBothLines)
{
    ImageBytes current = DefaultImage();
    current[1] = 60;
    unit_.SetCurrentImage(current);
    const CliRun reset = Cli({"reset"});
    ASSERT_EQ(reset.exitCode, 0) << reset.err;
    EXPECT_EQ(json::parse(reset.out)["settings"]["lr"]["gain"], 128);
    const std::vector<Payload> sent = CommandPayloads();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), Payload({0xFA, 0x10, 0x23}));

    ASSERT_EQ(Cli({"logo", "Hello", "World"}).exitCode, 0);
    EXPECT_EQ(unit_.Logo(), "Hello           World           ");
    EXPECT_EQ(Cli({"logo", "twenty-one characters", "x"}).exitCode, 2);
}

// A unit that fails: the exit code 3 and the system's own message.
struct FailureCase {
    const char* name;
    EmulatorFaults faults;
    std::vector<std::string> args;
    std::string message;  // "{device}" stands for the unit's device
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

EmulatorFaults HangUpAfter(int exchanges)
{
    EmulatorFaults faults;
    faults.hangUpAfterExchanges = exchanges;
    return faults;
}

EmulatorFaults Silent()
{
    EmulatorFaults faults;
    faults.silent = true;
    return faults;
}

EmulatorFaults WrongConnectReply()
{
    EmulatorFaults faults;
    faults.wrongConnectReply = true;
    return faults;
}

std::string UsedRecordFile()
{
    const std::string path = TempPath("load-me.cmf");
    WriteBytes(path, MemoryFileBytes({}));
    return path;
}

class CliOnlineFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliOnlineFailure, EndsWithExitCode3AndTheSystemsMessage)
{
    const FailureCase& c = GetParam();
    Rx74Emulator unit(c.faults);
    ASSERT_TRUE(unit.Start());
    std::vector<std::string> args{"--port", unit.DevicePath()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, 3);
    std::string message = c.message;
    if (const std::size_t at = message.find("{device}"); at != std::string::npos)
        message.replace(at, 8, unit.DevicePath());
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.out, "");
}

// Eight answered frames make up the connect sequence.
INSTANTIATE_TEST_SUITE_P(
    UnitFaults, CliOnlineFailure,
    ::testing::Values(
        FailureCase{"SilentUnitOnDump",
                    Silent(),
                    {"dump"},
                    "Connect fail!\nPlease check rs232 port setting.\n{device}: no answer to the attention byte: check "
                    "the cable, the unit's power and the port.\n"},
        FailureCase{"WrongConnectReplyOnDump",
                    WrongConnectReply(),
                    {"dump"},
                    "Connect fail!\nPlease check rs232 port setting.\n{device}: the connect answer starts with 0x52, "
                    "not \"Q\": another kind of device, or a baud-rate mismatch.\n"},
        FailureCase{"UnitGoneBeforeCurrentRead", HangUpAfter(7), {"dump"}, "Read current value fail!.\n"},
        FailureCase{"UnitGoneBeforeStore", HangUpAfter(8), {"store", "1", "x"}, "Fail to store to memory !\n"},
        FailureCase{"UnitGoneBeforeRecall", HangUpAfter(8), {"recall", "1"}, "Fail to read from MCU !\n"},
        FailureCase{"UnitGoneBeforeDelete", HangUpAfter(8), {"delete", "1"}, "Fail to erase from memory!\n"},
        FailureCase{"UnitGoneBeforeLoad",
                    HangUpAfter(8),
                    {"load", UsedRecordFile()},
                    "fail to download program data to unit!\nMemory 1 could not be stored.\n0 memories stored.\n"},
        FailureCase{"UnitGoneBeforeSet",
                    HangUpAfter(8),
                    {"set", "lr", "gain", "1"},
                    "The unit did not acknowledge the change.\n"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(CliOnline, FindsTheUnitThroughACOMnNameAndRefusesPortsThatNameNoDevice)
{
    ::setenv("QUENBAR_COM7", unit_.DevicePath().c_str(), 1);
    const CliRun byName = RunCli({"--port", "com7", "dump"});
    EXPECT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(json::parse(byName.out)["memories"].size(), 6u);

    EXPECT_EQ(RunCli({"--port", "serial", "dump"}).exitCode, 2);
    const std::string nowhere = TempPath("no-such-device");
    const CliRun missing = RunCli({"--port", nowhere, "dump"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err.rfind("RS232 Connection failed.\n" + nowhere + ": no such device", 0), 0u) << missing.err;
}

}  // namespace
