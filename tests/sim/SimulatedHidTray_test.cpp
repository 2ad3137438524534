// Several simulated keypads at once: each with its own node, port and
// serial number, leaving and coming back, reached from threads of their own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "Eventually.h"
#include "sim/SimulatedHid.h"

namespace lumivane::sim {
namespace {

using Report = std::array<std::uint8_t, 9>;
using ::testing::ElementsAre;
using ::testing::Field;
using test::Eventually;

constexpr Report kIdentityRequest = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

int Send(HidDevice& device, Report report) { return device.SendFeatureReport(report.data(), report.size()); }
int Get(HidDevice& device, Report& report) { return device.GetFeatureReport(report.data(), report.size()); }

class SimulatedHidTrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      hid.AddKeypad(SimulatedHid::KeypadIdentity(Node(i), "pci-0000:00:14.0-usb-0:" + std::to_string(i + 1) + ":1.0",
                                                 "SN" + std::to_string(i)));
    }
  }
  static std::string Node(int i) { return "/dev/hidraw" + std::to_string(i); }
  std::unique_ptr<HidDevice> Open(const std::string& node) {
    HidOpening opening = hid.Open(node);
    EXPECT_NE(opening.device, nullptr) << node << ": " << opening.error.Reason();
    return std::move(opening.device);
  }

  SimulatedHid hid;
};

TEST_F(SimulatedHidTrayTest, ListsEachKeypadWithItsPortAndSerialNumber) {
  EXPECT_THAT(hid.Enumerate(),
              ElementsAre(Field(&HidDeviceInfo::serialNumber, "SN0"), Field(&HidDeviceInfo::serialNumber, "SN1"),
                          Field(&HidDeviceInfo::serialNumber, "SN2")));
  EXPECT_EQ(hid.Enumerate()[2].portPath, "pci-0000:00:14.0-usb-0:3:1.0");
}

TEST_F(SimulatedHidTrayTest, AnUnpluggedKeypadsHandleStaysDeadWhenItComesBackAtAnotherNode) {
  std::unique_ptr<HidDevice> first = Open(Node(0));
  std::unique_ptr<HidDevice> second = Open(Node(1));
  hid.WithKeypad(Node(0), [](KeypadModel& keypad) { keypad.Poke(0x1234, 0x5A); });

  hid.Unplug(Node(0));
  EXPECT_EQ(hid.Enumerate().size(), 2u);
  EXPECT_EQ(-1, Send(*first, kIdentityRequest));
  EXPECT_EQ(9, Send(*second, kIdentityRequest));  // the others are untouched
  EXPECT_EQ(hid.Open(Node(0)).device, nullptr);

  hid.PlugIn(Node(0), "/dev/hidraw7");
  EXPECT_EQ(-1, Send(*first, kIdentityRequest));
  std::unique_ptr<HidDevice> again = Open("/dev/hidraw7");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(9, Send(*again, kIdentityRequest));
  EXPECT_EQ(hid.KeypadAt("/dev/hidraw7")->Peek(0x1234), 0x5A);  // the same keypad, memory kept
}

TEST_F(SimulatedHidTrayTest, OneKeypadUnpluggedAfterItsReportsLeavesTheOthersServed) {
  std::unique_ptr<HidDevice> first = Open(Node(0));
  std::unique_ptr<HidDevice> second = Open(Node(1));
  hid.UnplugAfterReports(Node(0), 2);
  Report answer{};
  EXPECT_EQ(9, Send(*first, kIdentityRequest));
  EXPECT_EQ(9, Send(*second, kIdentityRequest));
  EXPECT_EQ(9, Get(*first, answer));
  EXPECT_EQ(-1, Send(*first, kIdentityRequest));
  EXPECT_EQ(9, Get(*second, answer));
  EXPECT_EQ(answer[1], 0xC0);
  EXPECT_EQ(hid.Enumerate().size(), 2u);
}

TEST_F(SimulatedHidTrayTest, ABlockedKeypadHoldsOnlyItsOwnCaller) {
  std::unique_ptr<HidDevice> stuck = Open(Node(0));
  std::unique_ptr<HidDevice> healthy = Open(Node(1));
  std::unique_ptr<HidDevice> unplugged = Open(Node(2));
  hid.BlockReportsAfter(Node(0), 0);
  hid.BlockReportsAfter(Node(2), 0);
  int stuckResult = 0;
  int unpluggedResult = 0;
  std::thread stuckCaller([&] { stuckResult = Send(*stuck, kIdentityRequest); });
  std::thread unpluggedCaller([&] { unpluggedResult = Send(*unplugged, kIdentityRequest); });
  ASSERT_TRUE(Eventually([&] { return hid.BlockedCalls(Node(0)) == 1 && hid.BlockedCalls(Node(2)) == 1; }));

  Report answer{};
  EXPECT_EQ(9, Send(*healthy, kIdentityRequest));
  EXPECT_EQ(9, Get(*healthy, answer));
  EXPECT_EQ(answer[1], 0xC0);

  hid.Unplug(Node(2));
  unpluggedCaller.join();
  EXPECT_EQ(unpluggedResult, -1);
  hid.ReleaseBlockedReports(Node(0));
  stuckCaller.join();
  EXPECT_EQ(stuckResult, 9);
}

// Every keypad written from a thread of its own gets its own bytes only.
TEST_F(SimulatedHidTrayTest, KeypadsWrittenAtOnceEachHoldTheirOwnBytes) {
  std::vector<std::thread> writers;
  for (int i = 0; i < 3; ++i) {
    writers.emplace_back([this, i] {
      std::unique_ptr<HidDevice> device = hid.Open(Node(i)).device;
      if (!device) return;
      Report answer{};
      Send(*device, kIdentityRequest);
      Get(*device, answer);
      const std::uint8_t value = static_cast<std::uint8_t>(0x10 * (i + 1));
      for (int block = 0; block < 50; ++block) {
        const std::uint16_t address = static_cast<std::uint16_t>(0x1000 + 8 * block);
        Send(*device, {0, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0, 8, 0,
                       0xFD, 0, 0});
        Send(*device, {0, value, value, value, value, value, value, value, value});
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int i = 0; i < 3; ++i) {
    const KeypadModel* keypad = hid.KeypadAt(Node(i));
    for (std::uint16_t address = 0x1000; address < 0x1000 + 400; ++address) {
      ASSERT_EQ(keypad->Peek(address), 0x10 * (i + 1)) << Node(i) << " at " << address;
    }
  }
}

}  // namespace
}  // namespace lumivane::sim
