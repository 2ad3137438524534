#include "station/PollingDeviceMonitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "SharedManualClock.h"
#include "StationFakes.h"
#include "sim/SimulatedHid.h"

namespace lumivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = DeviceEvent::Kind;

class PollingDeviceMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hid.AddKeypad(sim::SimulatedHid::KeypadIdentity("/dev/hidraw0", "usb-0:1:1.0", "SN0"));
    HidDeviceInfo mouse = sim::SimulatedHid::KeypadIdentity("/dev/hidraw1", "usb-0:2:1.0");
    mouse.productId = 0xC077;
    hid.AddDevice(mouse);
    hid.AddKeypad(sim::SimulatedHid::KeypadIdentity("/dev/hidraw2"));  // no port known
  }

  sim::SimulatedHid hid;
  test::SharedManualClock clock;
  PollingDeviceMonitor monitor{hid, clock};
};

const KeypadDevice kFirst{"/dev/hidraw0", "usb-0:1:1.0", "SN0"};
const KeypadDevice kUnplaced{"/dev/hidraw2", "/dev/hidraw2", ""};

TEST_F(PollingDeviceMonitorTest, TellsWhatChangedBetweenLooks) {
  EXPECT_THAT(monitor.Look(), ElementsAre(DeviceEvent{Kind::Arrived, kFirst}, DeviceEvent{Kind::Arrived, kUnplaced}));
  EXPECT_THAT(monitor.Look(), IsEmpty());

  hid.Unplug("/dev/hidraw0");
  hid.Unplug("/dev/hidraw2");
  hid.PlugIn("/dev/hidraw2");
  // Gone and back between two looks at the same node: not seen to have left.
  EXPECT_THAT(monitor.Look(), ElementsAre(DeviceEvent{Kind::Left, kFirst}));
  hid.PlugIn("/dev/hidraw0", "/dev/hidraw5");
  const KeypadDevice renumbered{"/dev/hidraw5", "usb-0:1:1.0", "SN0"};
  EXPECT_THAT(monitor.Look(), ElementsAre(DeviceEvent{Kind::Arrived, renumbered}));
}

TEST_F(PollingDeviceMonitorTest, LooksAgainUntilStopped) {
  test::Monitor seen;
  std::vector<DeviceEvent> events;
  std::stop_source stop;
  std::thread watcher([&] {
    monitor.Run([&](const DeviceEvent& event) { seen.Change([&] { events.push_back(event); }); }, stop.get_token());
  });
  ASSERT_TRUE(seen.WaitFor([&] { return events.size() == 2; }));
  hid.Unplug("/dev/hidraw2");
  ASSERT_TRUE(seen.WaitFor([&] { return events.size() == 3; }));
  stop.request_stop();
  watcher.join();
  EXPECT_EQ(events.back(), (DeviceEvent{Kind::Left, kUnplaced}));
}

}  // namespace
}  // namespace lumivane
