#include "link/HidDeviceFinder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ChannelErrorPrinter.h"
#include "TestPaths.h"
#include "link/HidapiBackend.h"
#include "sim/SimulatedHid.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kUdevHint = " (install packaging/linux/70-lumivane.rules)";

class HidDeviceFinderTest : public ::testing::Test {
 protected:
  std::unique_ptr<HidDevice> Find(std::vector<std::string> udevRules = {}) {
    HidDeviceFinder finder(hid, std::move(udevRules));
    std::unique_ptr<HidDevice> device =
        finder.FindDevice([this](const std::string& l) { lines.push_back(l); });
    detail = finder.failureDetail();
    return device;
  }
  // The identity request through an opened device tells which keypad it reaches.
  static void SendIdentityRequest(HidDevice& device) {
    const std::uint8_t report[9] = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};
    ASSERT_EQ(9, device.SendFeatureReport(report, sizeof report));
  }

  sim::SimulatedHid hid;
  std::vector<std::string> lines;
  std::string detail;
};

TEST_F(HidDeviceFinderTest, TakesFirstMatchInEnumerationOrderAndNeverOpensTheSecond) {
  HidDeviceInfo mouse = sim::SimulatedHid::KeypadIdentity("/dev/hidraw0");
  mouse.productId = 0xC077;
  hid.AddDevice(mouse);
  sim::KeypadModel& first = hid.AddKeypad("/dev/hidraw1");
  sim::KeypadModel& second = hid.AddKeypad("/dev/hidraw2");

  std::unique_ptr<HidDevice> device = Find();

  ASSERT_NE(device, nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel detected"));
  EXPECT_THAT(hid.openAttempts(), ElementsAre("/dev/hidraw1"));
  SendIdentityRequest(*device);
  EXPECT_EQ(first.identityRequests(), 1u);
  EXPECT_EQ(second.identityRequests(), 0u);
}

TEST(HidDeviceFinderIdentity, FourValuesDecideAndTheVendorIdDoesNot) {
  using Change = std::function<void(HidDeviceInfo&)>;
  auto name = [](std::wstring n) { return Change([n](HidDeviceInfo& i) { i.manufacturer = n; }); };
  const struct {
    const char* what;
    Change change;
    bool found;
  } cases[] = {
      {"longer manufacturer", name(L"Zoret "), false},
      {"shorter manufacturer", name(L"Zore"), false},
      {"empty manufacturer", name(L""), false},
      {"first character differs", name(L"zoret"), false},
      {"last character differs", name(L"Zoreu"), false},
      // Only the low 8 bits count: U+015A ends in the byte of 'Z', and a
      // sixth character ending in 0 reads as the terminator.
      {"high byte set", name(L"\u015Aoret"), true},
      {"sixth character ends in 0", name(L"Zoret\u0100"), true},
      {"other vendor id", [](HidDeviceInfo& i) { i.vendorId = 0x0001; }, true},
      {"generic desktop usage page", [](HidDeviceInfo& i) { i.usagePage = 0x0001; }, false},
      {"byte-swapped product id", [](HidDeviceInfo& i) { i.productId = 0x2A3A; }, false},
      {"other release number", [](HidDeviceInfo& i) { i.releaseNumber = 0x5A4B; }, false},
  };
  for (const auto& c : cases) {
    sim::SimulatedHid hid;
    HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity("/dev/hidraw5");
    c.change(info);
    hid.AddKeypad(info);
    std::vector<std::string> lines;
    const bool found = HidDeviceFinder(hid).FindDevice(
                           [&](const std::string& l) { lines.push_back(l); }) != nullptr;
    EXPECT_EQ(found, c.found) << c.what;
    EXPECT_THAT(lines, ElementsAre(c.found ? "Usb Quintrel detected" : "Usb Quintrel not detected"))
        << c.what;
  }
}

TEST_F(HidDeviceFinderTest, NothingAttachedWritesOneLineAndSaysWhatWasLookedFor) {
  const std::string lookedFor =
      "No HID interface has the keypad's identity (product 0x3A2A, release 0x5A4A, usage page "
      "0xFF00, manufacturer \"Zoret\"); ";
  EXPECT_EQ(Find(), nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel not detected"));
  EXPECT_EQ(detail, lookedFor + "0 HID interfaces are present");
  EXPECT_THAT(hid.openAttempts(), IsEmpty());

  HidDeviceInfo mouse = sim::SimulatedHid::KeypadIdentity("/dev/hidraw0");
  mouse.productId = 0xC077;
  hid.AddDevice(mouse);
  EXPECT_EQ(Find(), nullptr);
  EXPECT_EQ(detail, lookedFor + "1 HID interface is present");
}

TEST_F(HidDeviceFinderTest, UnopenableKeypadsAreSkippedAndTheFirstIsNamed) {
  hid.AddKeypad("/dev/hidraw3");
  hid.SetOpenError("/dev/hidraw3", ChannelError(ChannelErrorKind::AccessDenied, EACCES));
  hid.AddKeypad("/dev/hidraw4");
  hid.SetOpenError("/dev/hidraw4", ChannelError(ChannelErrorKind::Busy, EBUSY));
  HidDeviceInfo generic = sim::SimulatedHid::KeypadIdentity("/dev/hidraw5");
  generic.usagePage = 0x0001;
  hid.AddKeypad(generic);  // the last interface is rejected

  EXPECT_EQ(Find(), nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel not detected"));
  EXPECT_EQ(detail, "Cannot open /dev/hidraw3: Permission denied" + kUdevHint);

  // With the rule installed the hint says what else keeps the node closed.
  const test::TempDir rules;
  ASSERT_TRUE(test::WriteFile(rules.path() + "70-lumivane.rules", "#"));
  EXPECT_EQ(Find({rules.path() + "missing.rules", rules.path() + "70-lumivane.rules"}), nullptr);
  EXPECT_EQ(detail, "Cannot open /dev/hidraw3: Permission denied (" + rules.path() +
                        "70-lumivane.rules is installed: plug the keypad in again, in a session at "
                        "the machine itself)");

  // A keypad held by another program gets no udev hint.
  hid.SetOpenError("/dev/hidraw3", ChannelError(ChannelErrorKind::Busy, EBUSY));
  EXPECT_EQ(Find(), nullptr);
  EXPECT_EQ(detail, "Cannot open /dev/hidraw3: Device or resource busy (another program holds it)");

  // A keypad that opens later in the list is taken, with no extra line.
  sim::KeypadModel& reachable = hid.AddKeypad("/dev/hidraw6");
  lines.clear();
  std::unique_ptr<HidDevice> device = Find();
  ASSERT_NE(device, nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel detected"));
  EXPECT_TRUE(detail.empty());
  SendIdentityRequest(*device);
  EXPECT_EQ(reachable.identityRequests(), 1u);
}

// ---- One interface per hidraw node ----

TEST(MergeInterfaceRecords, OneRecordPerPathPreferringTheVendorCollection) {
  auto record = [](const char* path, std::uint16_t usagePage) {
    HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity(path);
    info.usagePage = usagePage;
    return info;
  };
  const std::vector<HidDeviceInfo> merged = MergeInterfaceRecords(
      {record("/dev/hidraw0", 0x0001), record("/dev/hidraw1", 0x0001),
       record("/dev/hidraw2", 0x000C), record("/dev/hidraw1", 0xFF00),
       record("/dev/hidraw2", 0x0001), record("/dev/hidraw3", 0xFF00),
       record("/dev/hidraw3", 0x000C)});

  std::vector<std::pair<std::string, std::uint16_t>> pathsAndPages;
  for (const HidDeviceInfo& r : merged) pathsAndPages.emplace_back(r.path, r.usagePage);
  using P = std::pair<std::string, std::uint16_t>;
  EXPECT_THAT(pathsAndPages, ElementsAre(P{"/dev/hidraw0", 0x0001}, P{"/dev/hidraw1", 0xFF00},
                                         P{"/dev/hidraw2", 0x000C}, P{"/dev/hidraw3", 0xFF00}));
}

TEST(HidapiBackendOpen, EachNodeThatIsNoHidDeviceFailsWithItsKindAndReason) {
  const test::TempDir tempDir;
  const std::string& dir = tempDir.path();
  ASSERT_TRUE(test::WriteFile(dir + "file", "x"));
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%ssocket", dir.c_str());
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address));

  const struct {
    std::string path;
    ChannelErrorKind kind;
    int systemError;
    const char* reason;
  } cases[] = {
      {"/nonexistent/hidraw0", ChannelErrorKind::NotFound, ENOENT, "No such file or directory"},
      {dir + "socket", ChannelErrorKind::NoDevice, ENXIO, "No such device or address"},
      {dir, ChannelErrorKind::WrongDevice, EISDIR, "Is a directory"},
      // Nodes that open but are no hidraw device are refused before hidapi sees them.
      {dir + "file", ChannelErrorKind::WrongDevice, ENOTTY, "not a HID device node"},
      {"/dev/null", ChannelErrorKind::WrongDevice, ENOTTY, "not a HID device node"},
  };
  HidapiBackend backend;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const HidOpening opening = backend.Open(c.path);
    EXPECT_EQ(opening.device, nullptr);
    EXPECT_EQ(opening.error.kind(), c.kind);
    EXPECT_EQ(opening.error.systemError(), c.systemError);
    EXPECT_EQ(opening.error.Reason(), c.reason);
  }
  ::close(listener);
}

}  // namespace
}  // namespace lumivane
