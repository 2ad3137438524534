#include "station/PollingDeviceMonitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/SystemErrorText.h"
#include "translator/RegularFile.h"

namespace lumivane {

namespace {

bool Contains(const std::vector<KeypadDevice>& devices, const KeypadDevice& device) {
  return std::find(devices.begin(), devices.end(), device) != devices.end();
}

}  // namespace

std::vector<DeviceEvent> PollingDeviceMonitor::Look() {
  const std::vector<KeypadDevice> present = KeypadDevicesAmong(backend_.Enumerate());
  std::vector<DeviceEvent> events;
  for (const KeypadDevice& device : known_) {
    if (!Contains(present, device)) events.push_back({DeviceEvent::Kind::Left, device});
  }
  for (const KeypadDevice& device : present) {
    if (!Contains(known_, device)) events.push_back({DeviceEvent::Kind::Arrived, device});
  }
  known_ = present;
  return events;
}

DeviceMonitor::Failure PollingDeviceMonitor::Run(const EventSink& sink, std::stop_token stop) {
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) return "cannot wait for the next look at the HID devices: " + SystemErrorText(errno);
  {
    const std::stop_callback wakeOnStop(stop, [wake] { ::eventfd_write(wake, 1); });
    while (!stop.stop_requested()) {
      for (const DeviceEvent& event : Look()) sink(event);
      pollfd watch{wake, POLLIN, 0};
      clock_.Poll(&watch, 1, clock_.Now() + kInterval);
    }
  }
  ::close(wake);
  return {};
}

}  // namespace lumivane
