// The COM-port control client's bytes: what it asks, how it escapes data,
// how it reads the server's mix of data and commands, and when it holds
// the line settings acknowledged.
#include <gtest/gtest.h>

#include "link/ComPortControl.h"

namespace {

using Bytes = ComPortControl::Bytes;

constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

// The server's answer to one line-setting command, its value as given.
Bytes Answer(std::uint8_t command, const Bytes& value)
{
    Bytes bytes{IAC, SB, 44, static_cast<std::uint8_t>(command + 100)};
    bytes.insert(bytes.end(), value.begin(), value.end());
    bytes.insert(bytes.end(), {IAC, SE});
    return bytes;
}

// ser2net's acknowledgements of 57600 8N1 without flow control.
Bytes Acknowledgements()
{
    Bytes bytes = Answer(1, {0x00, 0x00, 0xE1, 0x00});
    for (std::uint8_t command = 2; command <= 5; ++command) {
        const Bytes one = Answer(command, {std::uint8_t(command == 2 ? 8 : 1)});
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

struct Read {
    Bytes data;
    Bytes replies;
};

Read Feed(ComPortControl& control, const Bytes& bytes)
{
    Read read;
    control.Receive(bytes.data(), static_cast<int>(bytes.size()), read.data, read.replies);
    return read;
}

ComPortControl::Verdict VerdictOf(const ComPortControl& control, std::string* why = nullptr)
{
    std::string ignored;
    return control.SettingsVerdict(LineSettings{}, why ? why : &ignored);
}

TEST(ComPortControl, AsksForTheLineSettingsDtrAndPurgeAndDoublesEveryFFOfData)
{
    ComPortControl control;
    EXPECT_EQ(control.Greeting(), (Bytes{IAC, WILL, 44, IAC, WILL, 0, IAC, DO, 0}));
    EXPECT_EQ(ComPortControl::SettingsRequests(LineSettings{}),
              (Bytes{IAC, SB, 44, 1, 0x00, 0x00, 0xE1, 0x00, IAC, SE, IAC, SB, 44, 2, 8, IAC, SE, IAC, SB, 44, 3, 1,
                     IAC, SE, IAC, SB, 44, 4, 1, IAC, SE, IAC, SB, 44, 5, 1, IAC, SE}));
    LineSettings other;
    other.baudRate = 0x0000FFFF;  // a value byte 0xFF is doubled too
    other.parity = 2;
    other.stopBits = 1;
    other.flowControl = 0x02;
    EXPECT_EQ(ComPortControl::SettingsRequests(other),
              (Bytes{IAC, SB, 44, 1, 0x00, 0x00, IAC, IAC, IAC, IAC, IAC, SE, IAC, SB, 44, 2, 8, IAC, SE, IAC, SB, 44,
                     3, 3, IAC, SE, IAC, SB, 44, 4, 2, IAC, SE, IAC, SB, 44, 5, 3, IAC, SE}));
    other.flowControl = 0x04;
    EXPECT_EQ(ComPortControl::SettingsRequests(other).at(37), 2);  // XON/XOFF
    EXPECT_EQ(ComPortControl::DtrRequest(true), (Bytes{IAC, SB, 44, 5, 8, IAC, SE}));
    EXPECT_EQ(ComPortControl::DtrRequest(false), (Bytes{IAC, SB, 44, 5, 9, IAC, SE}));
    EXPECT_EQ(ComPortControl::PurgeRequest(), (Bytes{IAC, SB, 44, 12, 3, IAC, SE}));

    Bytes out{0x01};
    const Bytes data{0xFF, 0x00, 0xFE, 0xFF, 0xFF};
    ComPortControl::AppendEscaped(data.data(), static_cast<int>(data.size()), out);
    EXPECT_EQ(out, (Bytes{0x01, 0xFF, 0xFF, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ComPortControl, TakesDataOutOfCommandsEvenSplitAcrossReads)
{
    // Data, a doubled FF, a NOP, a modem-state notification, more data.
    const Bytes stream{0x10, IAC, IAC, 0x20, IAC, 241, 0x30, IAC, SB, 44, 107, IAC, IAC, IAC, SE, 0x40};
    const Bytes expected{0x10, 0xFF, 0x20, 0x30, 0x40};
    ComPortControl whole;
    EXPECT_EQ(Feed(whole, stream).data, expected);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        ComPortControl split;
        Bytes data = Feed(split, Bytes(stream.begin(), stream.begin() + cut)).data;
        const Bytes rest = Feed(split, Bytes(stream.begin() + cut, stream.end())).data;
        data.insert(data.end(), rest.begin(), rest.end());
        EXPECT_EQ(data, expected) << "cut at " << cut;
    }
    // A subnegotiation longer than any answer is passed over to its end.
    ComPortControl control;
    Bytes longOne{IAC, SB, 44, 107};
    longOne.insert(longOne.end(), 200, 0x55);
    longOne.insert(longOne.end(), {IAC, SE, 0x77});
    EXPECT_EQ(Feed(control, longOne).data, Bytes{0x77});
}

TEST(ComPortControl, AnswersOptionRequestsOnceAcceptingOnlyBinaryAndSuppressGoAhead)
{
    ComPortControl control;
    control.Greeting();
    // ser2net's greeting: the options we asked for are confirmed silently.
    const Bytes greeting{IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44};
    EXPECT_EQ(Feed(control, greeting).replies, (Bytes{IAC, DO, 3, IAC, WILL, 3, IAC, DONT, 1}));
    // Asked again for what is agreed: no answer, so two sides never loop.
    EXPECT_TRUE(Feed(control, {IAC, WILL, 3, IAC, DO, 3, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44}).replies.empty());
    EXPECT_EQ(Feed(control, {IAC, DO, 24, IAC, WILL, 24}).replies, (Bytes{IAC, WONT, 24, IAC, DONT, 24}));
    // A switched-on option switched off is confirmed; one already off is not.
    EXPECT_EQ(Feed(control, {IAC, DONT, 3, IAC, WONT, 3, IAC, WONT, 1}).replies,
              (Bytes{IAC, WONT, 3, IAC, DONT, 3}));
    EXPECT_TRUE(Feed(control, {IAC, DONT, 3}).replies.empty());
}

TEST(ComPortControl, HoldsTheSettingsAcknowledgedOnlyWhenEveryAnswerMatches)
{
    ComPortControl control;
    control.Greeting();
    const Bytes acknowledgements = Acknowledgements();
    // Answered one by one, pending up to the last.
    std::size_t start = 0;
    for (int command = 1; command <= 5; ++command) {
        EXPECT_EQ(VerdictOf(control), ComPortControl::Verdict::Pending) << command;
        const std::size_t size = command == 1 ? 10 : 7;
        Feed(control, Bytes(acknowledgements.begin() + start, acknowledgements.begin() + start + size));
        start += size;
    }
    EXPECT_EQ(VerdictOf(control), ComPortControl::Verdict::Accepted);

    // The answer to a DTR request is no flow-control answer.
    ComPortControl dtr;
    Feed(dtr, Bytes(acknowledgements.begin(), acknowledgements.end() - 7));
    Feed(dtr, Answer(5, {8}));
    EXPECT_EQ(VerdictOf(dtr), ComPortControl::Verdict::Pending);
    Feed(dtr, Answer(5, {1}));
    EXPECT_EQ(VerdictOf(dtr), ComPortControl::Verdict::Accepted);

    struct Refusal {
        Bytes answer;
        std::string why;
    };
    for (const Refusal& refusal :
         {Refusal{Answer(1, {0x00, 0x00, 0x25, 0x80}), "the server set speed 9600 when asked for 57600"},
          Refusal{Answer(2, {7}), "the server set data bits 7 when asked for 8"},
          Refusal{Answer(3, {3}), "the server set parity 3 when asked for 1"},
          Refusal{Answer(4, {2}), "the server set stop bits 2 when asked for 1"},
          Refusal{Answer(5, {3}), "the server set flow control 3 when asked for 1"}}) {
        ComPortControl refused;
        Feed(refused, refusal.answer);
        std::string why;
        EXPECT_EQ(VerdictOf(refused, &why), ComPortControl::Verdict::Refused) << refusal.why;
        EXPECT_EQ(why, refusal.why);
    }

    ComPortControl noOption;
    noOption.Greeting();
    Feed(noOption, {IAC, DONT, 44});
    std::string why;
    EXPECT_EQ(VerdictOf(noOption, &why), ComPortControl::Verdict::Refused);
    EXPECT_EQ(why, "the server does not offer COM-port control");
    // A DONT for an option never asked for is no refusal.
    ComPortControl unasked;
    Feed(unasked, {IAC, DONT, 44});
    EXPECT_EQ(VerdictOf(unasked), ComPortControl::Verdict::Pending);
}

}  // namespace
