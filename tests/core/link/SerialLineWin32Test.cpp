// The Windows serial line and port list, run under the Wine session of the
// test run, where COM5 is mapped (scripts/wine-session.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "link/PortDiscovery.h"
#include "link/SerialLine.h"

namespace {

TEST(SerialLineWin32, OpenAndConfigureSayWhyAPortCannotBeUsed)
{
    const std::unique_ptr<SerialLine> line = MakeSerialLine();
    EXPECT_FALSE(line->Open(R"(\\.\COM200)"));
    EXPECT_EQ(line->LastError().failure, LineFailure::NoSuchDevice);
    EXPECT_FALSE(line->LastError().systemText.empty());

    ASSERT_TRUE(line->Open("NUL")) << line->LastError().systemText;  // a device, but no serial port
    EXPECT_FALSE(line->Configure(LineSettings{}));
    EXPECT_EQ(line->LastError().failure, LineFailure::NotSerial);
}

TEST(SerialLineWin32, PortListHoldsTheMappedPortsInNumberOrder)
{
    const std::vector<SerialPortInfo> ports = ListSerialPorts();
    const auto number = [](const SerialPortInfo& port) { return std::stoi(port.device.substr(7)); };  // \\.\COMn
    EXPECT_TRUE(std::any_of(ports.begin(), ports.end(),
                            [](const SerialPortInfo& port) { return port.device == R"(\\.\COM5)"; }));
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), [&](const SerialPortInfo& a, const SerialPortInfo& b) {
        return number(a) < number(b);
    }));
}

}  // namespace
