// What a link reports to its traffic observer while the connect sequence
// runs against the emulated unit, decoded as the log shows it.
#include <mutex>

#include "link/ParameterMessages.h"
#include "link/TrafficDecoder.h"
#include "tests/core/unit/EmulatedUnitTest.h"
#include "unit/UnitOperations.h"

namespace {

class DecodedLines final : public TrafficObserver {
public:
    void OnTraffic(const TrafficEvent& event) override
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(decoder_.Decode(event));
    }
    std::vector<TrafficLine> Lines()
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // The first line from `from` on whose meaning holds `meaning`; lines.size() if none.
    std::size_t Find(const std::string& meaning, std::size_t from = 0)
    {
        const std::vector<TrafficLine> lines = Lines();
        for (std::size_t i = from; i < lines.size(); ++i)
            if (lines[i].meaning.find(meaning) != std::string::npos) return i;
        return lines.size();
    }

private:
    std::mutex mutex_;
    TrafficDecoder decoder_;
    std::vector<TrafficLine> lines_;
};

class LinkTrafficTest : public EmulatedUnitTest {};

TEST_F(LinkTrafficTest, TheConnectSequenceIsReportedStepByStepInOrder)
{
    DecodedLines log;
    link.SetTrafficObserver(&log);
    unit_.SetFaults({.garbageBeforeAck = true});
    ASSERT_EQ(ConnectUnit(link, {}), ConnectResult::Connected);

    const std::size_t end = log.Lines().size();
    std::size_t at = log.Find("attention");
    EXPECT_EQ(log.Lines().at(at).direction, "->");
    EXPECT_EQ(log.Lines().at(at).hex, "FA");
    at = log.Find("garbage byte", at);
    EXPECT_LT(at, end);
    at = log.Find("attention acknowledged", at);
    EXPECT_LT(at, end);
    at = log.Find("connect", at);
    EXPECT_EQ(log.Lines().at(at).hex, "56 4E 42 31 30 02 C9 00 C9 53");
    at = log.Find("answered after", at);
    EXPECT_NE(log.Lines().at(at).meaning.find("connection accepted by \"RX7.4 EMULATOR\""), std::string::npos);
    for (int slot = 1; slot <= kMemorySlots; ++slot)
        at = log.Find("read the name of memory " + std::to_string(slot), at);
    at = log.Find("read the current setting", at);
    EXPECT_LT(log.Find("answered after", at), end);

    // A unit that goes away is reported as such, and a detached observer hears no more.
    unit_.SetFaults({.hangUpAfterExchanges = 0});
    SendParameter(link, PID_LR_GAIN);
    EXPECT_LT(log.Find("hang-up", end), log.Lines().size());
    link.SetTrafficObserver(nullptr);
    const std::size_t detached = log.Lines().size();
    link.Close();
    EXPECT_EQ(log.Lines().size(), detached);
}

}  // namespace
