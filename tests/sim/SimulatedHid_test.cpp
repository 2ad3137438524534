#include "sim/SimulatedHid.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "FakeDownloadHost.h"
#include "link/UsbLink.h"

namespace lumivane::sim {
namespace {

using Report = std::array<std::uint8_t, 9>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr Report kIdentityRequest = {0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};

class SimulatedHidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KeypadOptions options;
    options.shiftLoadDelay.reset();  // ready only when the test presses shift+load
    keypad = &hid.AddKeypad("/dev/hidraw0", options);
    HidOpening opening = hid.Open("/dev/hidraw0");
    device = std::move(opening.device);
    ASSERT_NE(device, nullptr) << opening.error.Reason();
  }

  bool Send(Report report) { return device->SendFeatureReport(report.data(), report.size()) == 9; }
  Report Get() {
    Report report{};
    EXPECT_EQ(9, device->GetFeatureReport(report.data(), report.size()));
    return report;
  }
  void Identify() {
    ASSERT_TRUE(Send(kIdentityRequest));
    keypad->PressShiftLoad();
    ASSERT_EQ(Get()[1], 0xC0);
  }

  SimulatedHid hid;
  KeypadModel* keypad = nullptr;
  std::unique_ptr<HidDevice> device;
};

TEST_F(SimulatedHidTest, AnswersNotReadyUntilShiftLoadThenTheIdentity) {
  ASSERT_TRUE(Send(kIdentityRequest));
  EXPECT_EQ(Get()[1], 0xA0);
  EXPECT_EQ(Get()[1], 0xA0);
  keypad->PressShiftLoad();
  EXPECT_THAT(Get(), ElementsAre(0, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7));
  EXPECT_THAT(hid.reports()[0].bytes, ElementsAreArray(kIdentityRequest));
}

TEST_F(SimulatedHidTest, WriteDataTravelsEightToAReportAndStaleBytesAreIgnored) {
  Identify();
  keypad->Poke(0x100A, 0x55);
  ASSERT_TRUE(Send({0, 0x10, 0x00, 0x00, 10, 0, 0xFD, 0xEE, 0xEE}));  // write 10 at 0x1000
  ASSERT_TRUE(Send({0, 1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_TRUE(Send({0, 9, 10, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}));  // 2 new, 6 stale
  ASSERT_TRUE(Send({0, 0x10, 0x0A, 0, 0, 0, 0x0E, 0x77, 0x77}));      // read 0x100A

  EXPECT_EQ(Get()[1], 0x55);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(keypad->Peek(0x1000 + i), i + 1);
  ASSERT_EQ(keypad->commands().size(), 2u);
  EXPECT_EQ(keypad->commands()[0].kind, KeypadCommand::Kind::Write);
  EXPECT_EQ(keypad->pendingWriteBytes(), 0u);
}

TEST_F(SimulatedHidTest, RefusesReportsOfAnotherLengthOrReportId) {
  Identify();
  const std::uint8_t longer[10] = {0, 0xFF, 0x63, 0, 0, 0, 0x0E, 0, 0, 0};
  EXPECT_EQ(-1, device->SendFeatureReport(longer, sizeof longer));
  EXPECT_FALSE(Send({1, 0xFF, 0x63, 0, 0, 0, 0x0E, 0, 0}));
  Report numbered = {2};
  EXPECT_EQ(-1, device->GetFeatureReport(numbered.data(), numbered.size()));

  EXPECT_TRUE(keypad->commands().empty());
  EXPECT_FALSE(hid.reports().back().succeeded);
  EXPECT_EQ(hid.reports().back().kind, HidReportRecord::Kind::Get);
}

TEST_F(SimulatedHidTest, UnplugFailsEveryCallFromTheGivenCountOn) {
  hid.UnplugAfterReports(2);
  EXPECT_TRUE(Send(kIdentityRequest));
  Report report{};
  EXPECT_EQ(9, device->GetFeatureReport(report.data(), report.size()));
  EXPECT_FALSE(Send(kIdentityRequest));
  EXPECT_EQ(-1, device->GetFeatureReport(report.data(), report.size()));

  EXPECT_TRUE(hid.Enumerate().empty());
  const HidOpening opening = hid.Open("/dev/hidraw0");
  EXPECT_EQ(opening.device, nullptr);
  EXPECT_EQ(opening.error.Reason(), "No such file or directory");
  EXPECT_EQ(keypad->identityRequests(), 1u);
}

// The link's framing against the keypad's: a write of nine bytes leaves
// the ninth in a report of its own, sent with the end command's flush.
TEST(SimulatedHidWithDeviceLink, NineBytesAndEndReachMemoryInFourReports) {
  test::ManualClock clock;
  SimulatedHid hid;
  KeypadModel& keypad = hid.AddKeypad("/dev/hidraw0");
  std::unique_ptr<HidDevice> device = hid.Open("/dev/hidraw0").device;
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(9, device->SendFeatureReport(kIdentityRequest.data(), kIdentityRequest.size()));
  Report answer{};
  ASSERT_EQ(9, device->GetFeatureReport(answer.data(), answer.size()));
  ASSERT_EQ(answer[1], 0xC0);
  hid.ClearRecord();

  UsbLink link(clock, *device);
  link.BeginWrite(0x2000, 9);
  for (std::uint8_t b = 0x41; b < 0x4A; ++b) link.WriteByte(b);
  link.EndWrite();

  // The ninth byte leaves in data byte 1; bytes 2..8 keep the previous report's.
  ASSERT_EQ(hid.SentReportCount(), 4u);
  EXPECT_THAT(hid.reports()[2].bytes,
              ElementsAre(0, 0x49, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(keypad.Peek(0x2000 + i), 0x41 + i);
  EXPECT_EQ(keypad.Peek(0x2009), keypad.options().fill);
  EXPECT_EQ(keypad.endCommands(), 1u);
  EXPECT_EQ(link.fault(), LinkFault::None);
}

}  // namespace
}  // namespace lumivane::sim
