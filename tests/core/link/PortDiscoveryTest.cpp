// The Linux port list over a system laid out in a temporary folder: which
// ttys count, what is read about them, and their order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "link/PortDiscoveryLinux.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& line)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << line << '\n';
}

void Link(const fs::path& link, const fs::path& target)
{
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
}

TEST(PortDiscovery, ListsTtysWithADeviceBehindThemWithWhatTheSystemSays)
{
    const fs::path root = fs::path(::testing::TempDir()) / "quenbar-sysfs";
    fs::remove_all(root);
    const fs::path usb = root / "devices/usb1/1-1";
    Write(usb / "idVendor", "0403");
    Write(usb / "idProduct", "6001");
    Write(usb / "manufacturer", "FTDI");
    Write(usb / "product", "FT232R USB UART");
    Write(usb / "serial", "A1B2");
    const fs::path usbPort = usb / "1-1:1.0/ttyUSB0";
    // The serial core's own devices sit between a tty and its hardware.
    const fs::path platform = root / "devices/platform/serial8250";
    const fs::path serialBase = root / "bus/serial-base/drivers";
    const fs::path platformPort = platform / "serial8250:0/serial8250:0.0";
    for (const fs::path& folder : {usbPort, platformPort, root / "drivers/ftdi_sio", root / "drivers/serial8250",
                                   serialBase / "port", serialBase / "ctrl"})
        fs::create_directories(folder);
    Link(usbPort / "driver", root / "drivers/ftdi_sio");
    Link(platformPort / "driver", serialBase / "port");
    Link(platformPort.parent_path() / "driver", serialBase / "ctrl");
    Link(platform / "driver", root / "drivers/serial8250");

    const fs::path tty = root / "class/tty";
    Link(tty / "ttyUSB0/device", usbPort);
    for (const char* name : {"ttyS2", "ttyS10", "ttyS1"}) Link(tty / name / "device", platformPort);
    Write(tty / "ttyS2/type", "4");
    Write(tty / "ttyS10/type", "4");
    Write(tty / "ttyS1/type", "0");        // a serial port with no UART behind it
    fs::create_directories(tty / "tty0");  // a virtual terminal: no device

    Write(root / "dev/ttyUSB0", "");
    Link(root / "dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0", root / "dev/ttyUSB0");

    const auto ports = ListSerialPortsIn(
        {(root / "class/tty").string(), (root / "dev").string(), (root / "dev/serial/by-id").string()});
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].device, (root / "dev/ttyS2").string());
    EXPECT_EQ(ports[1].device, (root / "dev/ttyS10").string());
    EXPECT_EQ(ports[0].driver, "serial8250");
    EXPECT_TRUE(ports[0].vendorId.empty());
    EXPECT_TRUE(ports[0].stableName.empty());

    const SerialPortInfo& adapter = ports[2];
    EXPECT_EQ(adapter.device, (root / "dev/ttyUSB0").string());
    EXPECT_EQ(adapter.stableName, (root / "dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0").string());
    EXPECT_EQ(adapter.driver, "ftdi_sio");
    EXPECT_EQ(adapter.vendorId, "0403");
    EXPECT_EQ(adapter.productId, "6001");
    EXPECT_EQ(adapter.manufacturer, "FTDI");
    EXPECT_EQ(adapter.product, "FT232R USB UART");
    EXPECT_EQ(adapter.serialNumber, "A1B2");
    fs::remove_all(root);
}

}  // namespace
