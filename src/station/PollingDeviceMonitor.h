#pragma once
#include <chrono>
#include <vector>

#include "link/Clock.h"
#include "station/DeviceMonitor.h"

namespace lumivane {

// Finds keypads by listing the HID interfaces every half second: for a
// system without a running udev (a container), whose arrivals and removals
// nobody announces. A keypad unplugged and plugged in again within one
// interval at the same node is not seen to have left; it is then not
// rewritten, and is served again once plugged in anew.
class PollingDeviceMonitor : public DeviceMonitor {
 public:
  static constexpr std::chrono::milliseconds kInterval{500};

  PollingDeviceMonitor(HidBackend& backend, Clock& clock) : backend_(backend), clock_(clock) {}

  Failure Run(const EventSink& sink, std::stop_token stop) override;

  // One look at the interfaces: what changed since the last look, the
  // removals first; at the first look every keypad present arrives.
  std::vector<DeviceEvent> Look();

 private:
  HidBackend& backend_;
  Clock& clock_;
  std::vector<KeypadDevice> known_;
};

}  // namespace lumivane
