#include <gtest/gtest.h>

#include <cstdlib>

#include "link/PortName.h"

namespace {

TEST(PortName, ComNumberResolvesFromEnvironmentThenConfiguredPathThenTtyS)
{
    EXPECT_EQ(ResolvePortName("com10"), "/dev/ttyS9");
    EXPECT_EQ(ResolveComDevice(3, "/dev/ttyUSB0"), "/dev/ttyUSB0");
    ::setenv("QUENBAR_COM3", "/tmp/unit", 1);
    EXPECT_EQ(ResolveComDevice(3, "/dev/ttyUSB0"), "/tmp/unit");
    EXPECT_EQ(ResolvePortName("COM3"), "/tmp/unit");
    ::unsetenv("QUENBAR_COM3");
}

TEST(PortName, AbsolutePathsStayAndOtherTextNamesNoDevice)
{
    EXPECT_EQ(ResolvePortName("/dev/pts/7"), "/dev/pts/7");
    for (const char* bad : {"", "COM", "COM0", "COMX", "COM1a", "ttyS0", "dev/ttyS0", "COM99999"})
        EXPECT_FALSE(ResolvePortName(bad).has_value()) << bad;
}

}  // namespace
