#include <gtest/gtest.h>

#include <cstdlib>

#include "link/NetworkAddress.h"
#include "link/PortName.h"

namespace {

#ifdef _WIN32
const std::string kCom10Default = R"(\\.\COM10)";
const std::string kDevicePath = R"(\\.\COM7)";
void SetVariable(const char* name, const char* value) { _putenv_s(name, value); }  // "" removes it
#else
const std::string kCom10Default = "/dev/ttyS9";
const std::string kDevicePath = "/dev/pts/7";
void SetVariable(const char* name, const char* value) { *value ? ::setenv(name, value, 1) : ::unsetenv(name); }
#endif

TEST(PortName, ComNumberResolvesFromEnvironmentThenConfiguredPathThenThePlatformsDevice)
{
    EXPECT_EQ(ResolvePortName("com10"), kCom10Default);
    EXPECT_EQ(ResolveComDevice(3, "/dev/ttyUSB0"), "/dev/ttyUSB0");
    SetVariable("QUENBAR_COM3", "/tmp/unit");
    EXPECT_EQ(ResolveComDevice(3, "/dev/ttyUSB0"), "/tmp/unit");
    EXPECT_EQ(ResolvePortName("COM3"), "/tmp/unit");
    SetVariable("QUENBAR_COM3", "");
}

TEST(PortName, DevicePathsStayAndOtherTextNamesNoDevice)
{
    EXPECT_EQ(ResolvePortName(kDevicePath), kDevicePath);
    EXPECT_TRUE(ResolvePortName("COM256").has_value());
    for (const char* bad : {"", "COM", "COM0", "COMX", "COM1a", "ttyS0", "dev/ttyS0", "COM257", "COM99999"})
        EXPECT_FALSE(ResolvePortName(bad).has_value()) << bad;
}

TEST(PortName, NetworkLinesStayAsNamedWithHostAndPortParsed)
{
    using Protocol = NetworkAddress::Protocol;
    struct Case {
        const char* name;
        Protocol protocol;
        const char* host;
        const char* port;
    };
    for (const Case& c : {Case{"tcp://10.0.0.5:4001", Protocol::Raw, "10.0.0.5", "4001"},
                          Case{"RFC2217://rack-left.local:1", Protocol::ComPortControl, "rack-left.local", "1"},
                          Case{"tcp://[::1]:65535", Protocol::Raw, "::1", "65535"},
                          Case{"rfc2217://[fe80::1%eth0]:4002", Protocol::ComPortControl, "fe80::1%eth0", "4002"}}) {
        const std::optional<NetworkAddress> address = ParseNetworkAddress(c.name);
        ASSERT_TRUE(address.has_value()) << c.name;
        EXPECT_EQ(address->protocol, c.protocol) << c.name;
        EXPECT_EQ(address->host, c.host) << c.name;
        EXPECT_EQ(address->port, c.port) << c.name;
        EXPECT_EQ(ResolvePortName(c.name), c.name);
    }
    for (const char* bad : {"tcp://host", "tcp://host:", "tcp://:4001", "tcp://host:0", "tcp://host:65536",
                            "tcp://host:4001x", "tcp://host:123456", "tcp://::1:4001", "tcp://[]:4001",
                            "tcp://a/b:4001", "udp://host:4001", "rfc2217:/host:4001", "tcp://[::1:4001"}) {
        EXPECT_FALSE(ParseNetworkAddress(bad).has_value()) << bad;
        EXPECT_FALSE(ResolvePortName(bad).has_value()) << bad;
    }
}

}  // namespace
