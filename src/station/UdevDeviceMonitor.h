#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "station/DeviceMonitor.h"

struct udev;
struct udev_monitor;

namespace lumivane {

// Finds keypads through udev: a monitor of the hidraw nodes, which udev
// tells about once it has set each one up. The interfaces and their
// identity come from the HID service's own listing, so that a keypad is
// recognised exactly as a download finds it; the port is udev's ID_PATH.
class UdevDeviceMonitor : public DeviceMonitor {
 public:
  // Connects to udev and starts receiving; null when udev cannot be
  // reached (no udev runs, as in a container), with why in *why.
  static std::unique_ptr<UdevDeviceMonitor> Connect(HidBackend& backend, std::string* why);
  ~UdevDeviceMonitor() override;
  UdevDeviceMonitor(const UdevDeviceMonitor&) = delete;
  UdevDeviceMonitor& operator=(const UdevDeviceMonitor&) = delete;

  Failure Run(const EventSink& sink, std::stop_token stop) override;

 private:
  UdevDeviceMonitor(HidBackend& backend, udev* context, udev_monitor* monitor)
      : backend_(backend), udev_(context), monitor_(monitor) {}
  // udev's ID_PATH for the device's port, when udev knows one.
  KeypadDevice WithUdevPort(KeypadDevice device);
  // The keypad at `node` among the present interfaces, with udev's name
  // for its port; false when the node is no keypad (or already gone).
  bool FindKeypad(const std::string& node, KeypadDevice* device);
  void TakeMonitorEvents(const EventSink& sink);

  HidBackend& backend_;
  udev* udev_;
  udev_monitor* monitor_;
  std::map<std::string, KeypadDevice> known_;  // by node
};

// The device monitor the station uses: udev's when it can be reached, else
// one that looks every 500 ms, and then `notice` gets one line saying so.
std::unique_ptr<DeviceMonitor> OpenDeviceMonitor(HidBackend& backend, Clock& clock,
                                                 const std::function<void(const std::string&)>& notice);

}  // namespace lumivane
