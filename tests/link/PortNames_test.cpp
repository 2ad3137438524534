#include "link/PortNames.h"

#include <gtest/gtest.h>

#include "TestPaths.h"

namespace lumivane {
namespace {

TEST(ResolvePortName, MapsNamesInOrderOfPrecedence) {
  const std::map<std::string, std::string> ports = {{"com1", "/dev/ttyUSB0"},
                                                    {"Keypad", "/dev/ttyACM3"},
                                                    {"COM3", ""}};
  // The settings section wins over the built-in names, compared without case.
  EXPECT_EQ("/dev/ttyUSB0", ResolvePortName("COM1", ports));
  EXPECT_EQ("/dev/ttyACM3", ResolvePortName("KEYPAD", ports));
  // An empty value maps nothing.
  EXPECT_EQ("/dev/ttyS2", ResolvePortName("COM3", ports));
  EXPECT_EQ("/dev/ttyS1", ResolvePortName("com2", ports));
  EXPECT_EQ("/dev/ttyS3", ResolvePortName("COM4", {}));
  // An absolute path is used as it is, even when the section names it.
  EXPECT_EQ("/dev/pts/7", ResolvePortName("/dev/pts/7", {{"/dev/pts/7", "/dev/ttyS0"}}));
  // Anything else is left alone.
  EXPECT_EQ("COM5", ResolvePortName("COM5", ports));
  EXPECT_EQ("COM10", ResolvePortName("COM10", ports));
  EXPECT_EQ("", ResolvePortName("", ports));
}

TEST(ListSerialDevices, ListsUsbSerialDevicesInNumericOrder) {
  const test::TempDir temp;
  const std::string dir = temp.path();
  ASSERT_FALSE(dir.empty());
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "tty", "random", "ttyUSB0"}) {
    ASSERT_TRUE(test::WriteFile(dir + name, ""));
  }
  const std::vector<std::string> expected = {dir + "ttyACM0", dir + "ttyUSB0", dir + "ttyUSB2",
                                             dir + "ttyUSB10"};
  EXPECT_EQ(expected, ListSerialDevices(dir.substr(0, dir.size() - 1)));
  EXPECT_TRUE(ListSerialDevices(dir + "missing").empty());
}

}  // namespace
}  // namespace lumivane
