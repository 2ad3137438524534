#include "link/HidDeviceFinder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/HidapiBackend.h"
#include "sim/SimulatedHid.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kUdevHint[] = " (install packaging/linux/70-lumivane.rules)";

class HidDeviceFinderTest : public ::testing::Test {
 protected:
  std::unique_ptr<HidDevice> Find() {
    HidDeviceFinder finder(hid);
    return finder.FindDevice([this](const std::string& line) { lines.push_back(line); });
  }

  // Sends the identity request through an opened device, so a test can
  // tell which keypad the handle reaches.
  static void SendIdentityRequest(HidDevice& device) {
    const std::uint8_t report[9] = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};
    ASSERT_TRUE(device.SendFeatureReport(report, sizeof report));
  }

  sim::SimulatedHid hid;
  std::vector<std::string> lines;
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

TEST_F(HidDeviceFinderTest, ManufacturerStringMustBeExactlyTheFiveCharacters) {
  const std::vector<std::wstring> rejected = {L"Zoret ", L"Zorets", L"Zore", L"",
                                              L"zoret", L"Xoret", L"Zoreu"};
  for (const std::wstring& name : rejected) {
    sim::SimulatedHid backend;
    HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity("/dev/hidraw0");
    info.manufacturer = name;
    backend.AddKeypad(info);
    std::vector<std::string> log;
    HidDeviceFinder finder(backend);
    EXPECT_EQ(finder.FindDevice([&](const std::string& l) { log.push_back(l); }), nullptr)
        << "manufacturer of " << name.size() << " characters was accepted";
    EXPECT_THAT(log, ElementsAre("Usb Quintrel not detected"));
  }
}

TEST_F(HidDeviceFinderTest, OnlyLowEightBitsOfEachCharacterAreCompared) {
  // U+015A has the low byte of 'Z'; a sixth character whose low byte is 0
  // reads like the terminator.
  for (const std::wstring& name : {std::wstring(L"\u015Aoret"), std::wstring(L"Zoret\u0100")}) {
    sim::SimulatedHid backend;
    HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity("/dev/hidraw0");
    info.manufacturer = name;
    backend.AddKeypad(info);
    EXPECT_NE(HidDeviceFinder(backend).FindDevice([](const std::string&) {}), nullptr);
  }
}

TEST_F(HidDeviceFinderTest, IdentifiersAndUsagePageDecideButVendorIdDoesNot) {
  struct Case {
    const char* what;
    void (*change)(HidDeviceInfo&);
    bool found;
  };
  const Case cases[] = {
      {"other vendor id", [](HidDeviceInfo& i) { i.vendorId = 0x0001; }, true},
      {"vendor id 0", [](HidDeviceInfo& i) { i.vendorId = 0; }, true},
      {"generic desktop usage page", [](HidDeviceInfo& i) { i.usagePage = 0x0001; }, false},
      {"usage page 0xFF01", [](HidDeviceInfo& i) { i.usagePage = 0xFF01; }, false},
      {"other product id", [](HidDeviceInfo& i) { i.productId = 0x3A2B; }, false},
      {"byte-swapped product id", [](HidDeviceInfo& i) { i.productId = 0x2A3A; }, false},
      {"other release number", [](HidDeviceInfo& i) { i.releaseNumber = 0x5A4B; }, false},
  };
  for (const Case& c : cases) {
    sim::SimulatedHid backend;
    HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity("/dev/hidraw5");
    c.change(info);
    backend.AddKeypad(info);
    std::vector<std::string> log;
    std::unique_ptr<HidDevice> device =
        HidDeviceFinder(backend).FindDevice([&](const std::string& l) { log.push_back(l); });
    EXPECT_EQ(device != nullptr, c.found) << c.what;
    EXPECT_THAT(log, ElementsAre(c.found ? "Usb Quintrel detected" : "Usb Quintrel not detected"))
        << c.what;
  }
}

TEST_F(HidDeviceFinderTest, NothingAttachedWritesExactlyOneLine) {
  EXPECT_EQ(Find(), nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel not detected"));
  EXPECT_THAT(hid.openAttempts(), IsEmpty());
}

TEST_F(HidDeviceFinderTest, RejectedLastInterfaceLeavesNoHandle) {
  hid.AddKeypad("/dev/hidraw0");
  hid.SetOpenError("/dev/hidraw0", "No such device");
  HidDeviceInfo generic = sim::SimulatedHid::KeypadIdentity("/dev/hidraw1");
  generic.usagePage = 0x0001;
  hid.AddKeypad(generic);

  EXPECT_EQ(Find(), nullptr);
  EXPECT_EQ(lines.front(), "Usb Quintrel not detected");
}

TEST_F(HidDeviceFinderTest, UnopenableKeypadIsNamedWithItsReason) {
  hid.AddKeypad("/dev/hidraw3");
  hid.SetOpenError("/dev/hidraw3", "Permission denied");

  EXPECT_EQ(Find(), nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel not detected",
                                 std::string("Cannot open /dev/hidraw3: Permission denied") +
                                     kUdevHint));
}

TEST_F(HidDeviceFinderTest, OnlyTheFirstUnopenableKeypadIsNamed) {
  hid.AddKeypad("/dev/hidraw3");
  hid.SetOpenError("/dev/hidraw3", "Permission denied");
  hid.AddKeypad("/dev/hidraw4");
  hid.SetOpenError("/dev/hidraw4", "Device or resource busy");

  EXPECT_EQ(Find(), nullptr);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::string("Cannot open /dev/hidraw3: Permission denied") + kUdevHint);
}

TEST_F(HidDeviceFinderTest, UnopenableKeypadIsSkippedWhenALaterOneOpens) {
  hid.AddKeypad("/dev/hidraw3");
  hid.SetOpenError("/dev/hidraw3", "Permission denied");
  sim::KeypadModel& reachable = hid.AddKeypad("/dev/hidraw4");

  std::unique_ptr<HidDevice> device = Find();

  ASSERT_NE(device, nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel detected"));
  EXPECT_THAT(hid.openAttempts(), ElementsAre("/dev/hidraw3", "/dev/hidraw4"));
  SendIdentityRequest(*device);
  EXPECT_EQ(reachable.identityRequests(), 1u);
}

TEST_F(HidDeviceFinderTest, EachSearchStartsAfresh) {
  EXPECT_EQ(Find(), nullptr);
  hid.AddKeypad("/dev/hidraw0");
  EXPECT_NE(Find(), nullptr);
  EXPECT_THAT(lines, ElementsAre("Usb Quintrel not detected", "Usb Quintrel detected"));
}

// ---- One interface per hidraw node ----

HidDeviceInfo Record(const char* path, std::uint16_t usagePage) {
  HidDeviceInfo info = sim::SimulatedHid::KeypadIdentity(path);
  info.usagePage = usagePage;
  return info;
}

std::vector<std::pair<std::string, std::uint16_t>> PathsAndPages(
    const std::vector<HidDeviceInfo>& records) {
  std::vector<std::pair<std::string, std::uint16_t>> out;
  for (const HidDeviceInfo& r : records) out.emplace_back(r.path, r.usagePage);
  return out;
}

TEST(MergeInterfaceRecords, OneRecordPerPathPreferringTheVendorCollection) {
  using P = std::pair<std::string, std::uint16_t>;
  // A node listed with a generic collection first and the vendor one later,
  // another listed with two generic collections, and single ones around them.
  const std::vector<HidDeviceInfo> records = {
      Record("/dev/hidraw0", 0x0001), Record("/dev/hidraw1", 0x0001),
      Record("/dev/hidraw2", 0x000C), Record("/dev/hidraw1", 0xFF00),
      Record("/dev/hidraw2", 0x0001), Record("/dev/hidraw3", 0xFF00),
      Record("/dev/hidraw3", 0x000C)};

  EXPECT_THAT(PathsAndPages(MergeInterfaceRecords(records)),
              ElementsAre(P{"/dev/hidraw0", 0x0001}, P{"/dev/hidraw1", 0xFF00},
                          P{"/dev/hidraw2", 0x000C}, P{"/dev/hidraw3", 0xFF00}));
}

TEST(MergeInterfaceRecords, KeypadWithNestedCollectionsIsFoundOnce) {
  sim::SimulatedHid hid;
  for (const HidDeviceInfo& info : MergeInterfaceRecords(
           {Record("/dev/hidraw7", 0x0001), Record("/dev/hidraw7", 0xFF00)})) {
    hid.AddKeypad(info);
  }
  std::vector<std::string> log;
  EXPECT_NE(HidDeviceFinder(hid).FindDevice([&](const std::string& l) { log.push_back(l); }),
            nullptr);
  EXPECT_THAT(hid.openAttempts(), ElementsAre("/dev/hidraw7"));
}

// ---- The system's HID service, without a device ----

TEST(HidapiBackendOpen, ReasonIsTheSystemTextForTheNode) {
  HidapiBackend backend;
  std::string error;
  EXPECT_EQ(backend.Open("/nonexistent/hidraw0", &error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
  // A node that opens but is no hidraw device is refused with hidapi's reason.
  error.clear();
  EXPECT_EQ(backend.Open("/dev/null", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace lumivane
