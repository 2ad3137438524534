#include "link/UsbPortPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestPaths.h"

namespace lumivane {
namespace {

struct PortCase {
  const char* sysfsPath;
  const char* portPath;
};

class UsbPortPathTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(UsbPortPathTest, NamesThePortAsUdevDoes) {
  EXPECT_EQ(GetParam().portPath, UsbPortPathFromSysfs(GetParam().sysfsPath));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UsbPortPathTest,
    ::testing::Values(
        // A keypad's HID interface straight on a root port.
        PortCase{"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:16C0:3A2A.0005",
                 "pci-0000:00:14.0-usb-0:2:1.0"},
        // Behind two hubs, second interface; the hidraw node below it.
        PortCase{"/sys/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1.4/3-1.4.2/3-1.4.2:1.1/"
                 "0003:16C0:3A2A.000B/hidraw/hidraw7",
                 "pci-0000:00:14.0-usb-0:1.4.2:1.1"},
        // A controller behind a PCI bridge: the nearest PCI device counts.
        PortCase{"/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/usb5/5-3/5-3:1.0/0003:16C0:3A2A.0001",
                 "pci-0000:03:00.0-usb-0:3:1.0"},
        PortCase{"/sys/devices/platform/xhci-hcd.0.auto/usb1/1-1/1-1:1.0/0003:16C0:3A2A.0002",
                 "platform-xhci-hcd.0.auto-usb-0:1:1.0"},
        // Only the USB part is known.
        PortCase{"/sys/devices/virtual/usb1/1-4/1-4:1.0", "usb-0:4:1.0"},
        // No USB device on the way: a Bluetooth or I2C HID device, a virtual one.
        PortCase{"/sys/devices/virtual/misc/uhid/0005:046D:B01A.0003", ""},
        PortCase{"/sys/devices/pci0000:00/0000:00:15.1/i2c_designware.1/i2c-2/i2c-ELAN0001:00/0018:04F3:3140.0001",
                 ""},
        PortCase{"", ""}));

TEST(UsbPortPathOfHidrawTest, FollowsTheNodesSysfsEntry) {
  test::TempDir root;
  const std::string device = root.path() + "devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:16C0:3A2A.0005";
  std::filesystem::create_directories(device);
  std::filesystem::create_directories(root.path() + "class/hidraw/hidraw4");
  std::filesystem::create_directory_symlink(device, root.path() + "class/hidraw/hidraw4/device");

  EXPECT_EQ("pci-0000:00:14.0-usb-0:2:1.0", UsbPortPathOfHidraw("/dev/hidraw4", root.path()));
  // A node the system does not list (a simulated one, a stale path).
  EXPECT_EQ("", UsbPortPathOfHidraw("/dev/hidraw9", root.path()));
}

}  // namespace
}  // namespace lumivane
