#include "station/UdevDeviceMonitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/PollingDeviceMonitor.h"
#include "common/SystemErrorText.h"
#include "translator/RegularFile.h"

namespace lumivane {

namespace {

// The node's name below /dev ("hidraw3"), which is its sysfs name.
std::string SysName(const std::string& node) {
  const std::size_t slash = node.rfind('/');
  return slash == std::string::npos ? node : node.substr(slash + 1);
}

}  // namespace

std::unique_ptr<UdevDeviceMonitor> UdevDeviceMonitor::Connect(HidBackend& backend, std::string* why) {
  udev* context = ::udev_new();
  if (context == nullptr) {
    *why = "udev cannot be used: " + SystemErrorText(errno);
    return nullptr;
  }
  // Without the daemon a monitor would open and never hear of anything.
  udev_queue* queue = ::udev_queue_new(context);
  const bool active = queue != nullptr && ::udev_queue_get_udev_is_active(queue) == 1;
  ::udev_queue_unref(queue);
  udev_monitor* monitor = active ? ::udev_monitor_new_from_netlink(context, "udev") : nullptr;
  if (monitor == nullptr) {
    *why = active ? "udev's device events cannot be received: " + SystemErrorText(errno) : "udev is not running";
    ::udev_unref(context);
    return nullptr;
  }
  if (::udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
      ::udev_monitor_enable_receiving(monitor) < 0) {
    *why = "udev's device events cannot be received: " + SystemErrorText(errno);
    ::udev_monitor_unref(monitor);
    ::udev_unref(context);
    return nullptr;
  }
  return std::unique_ptr<UdevDeviceMonitor>(new UdevDeviceMonitor(backend, context, monitor));
}

UdevDeviceMonitor::~UdevDeviceMonitor() {
  ::udev_monitor_unref(monitor_);
  ::udev_unref(udev_);
}

KeypadDevice UdevDeviceMonitor::WithUdevPort(KeypadDevice device) {
  if (udev_device* entry = ::udev_device_new_from_subsystem_sysname(udev_, "hidraw", SysName(device.node).c_str())) {
    if (const char* idPath = ::udev_device_get_property_value(entry, "ID_PATH")) device.port = idPath;
    ::udev_device_unref(entry);
  }
  return device;
}

bool UdevDeviceMonitor::FindKeypad(const std::string& node, KeypadDevice* device) {
  for (const KeypadDevice& keypad : KeypadDevicesAmong(backend_.Enumerate())) {
    if (keypad.node != node) continue;
    *device = WithUdevPort(keypad);
    return true;
  }
  return false;
}

void UdevDeviceMonitor::TakeMonitorEvents(const EventSink& sink) {
  while (udev_device* entry = ::udev_monitor_receive_device(monitor_)) {
    const char* action = ::udev_device_get_action(entry);
    const char* devnode = ::udev_device_get_devnode(entry);
    const std::string node = devnode ? devnode : "";
    const std::string what = action ? action : "";
    ::udev_device_unref(entry);
    const auto known = known_.find(node);
    if (what == "add" && known == known_.end()) {
      // An add queued before the first listing repeats a keypad already known.
      KeypadDevice device;
      if (FindKeypad(node, &device)) {
        known_[node] = device;
        sink({DeviceEvent::Kind::Arrived, device});
      }
    } else if (what == "remove" && known != known_.end()) {
      const KeypadDevice device = known->second;
      known_.erase(known);
      sink({DeviceEvent::Kind::Left, device});
    }
  }
}

DeviceMonitor::Failure UdevDeviceMonitor::Run(const EventSink& sink, std::stop_token stop) {
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) return "cannot wait for udev's device events: " + SystemErrorText(errno);
  Failure failure;
  {
    const std::stop_callback wakeOnStop(stop, [wake] { ::eventfd_write(wake, 1); });
    // Receiving began at Connect: whatever arrives from now on is queued.
    for (const KeypadDevice& device : KeypadDevicesAmong(backend_.Enumerate())) {
      const KeypadDevice named = WithUdevPort(device);
      known_[device.node] = named;
      sink({DeviceEvent::Kind::Arrived, named});
    }
    while (!stop.stop_requested() && failure.empty()) {
      pollfd watch[2] = {{::udev_monitor_get_fd(monitor_), POLLIN, 0}, {wake, POLLIN, 0}};
      if (::poll(watch, 2, -1) < 0 && errno != EINTR) {
        failure = "udev's device events cannot be received: " + SystemErrorText(errno);
      } else if (watch[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        failure = "udev's device events cannot be received: the connection failed";
      } else if (watch[0].revents & POLLIN) {
        TakeMonitorEvents(sink);
      }
    }
  }
  ::close(wake);
  return failure;
}

std::unique_ptr<DeviceMonitor> OpenDeviceMonitor(HidBackend& backend, Clock& clock,
                                                 const std::function<void(const std::string&)>& notice) {
  std::string why;
  if (std::unique_ptr<UdevDeviceMonitor> monitor = UdevDeviceMonitor::Connect(backend, &why)) return monitor;
  notice("udev cannot be reached (" + why + "): looking for keypads every 500 ms instead");
  return std::make_unique<PollingDeviceMonitor>(backend, clock);
}

}  // namespace lumivane
