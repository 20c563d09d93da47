#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
