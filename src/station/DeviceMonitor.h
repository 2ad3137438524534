#pragma once
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "link/HidChannel.h"

namespace lumivane {

// A keypad's HID interface as the station sees it.
struct KeypadDevice {
  std::string node;          // "/dev/hidraw3": what the download opens
  std::string port;          // the physical USB port (udev's ID_PATH); the node when unknown
  std::string serialNumber;  // empty when the device has none
  bool operator==(const KeypadDevice&) const = default;
};

// The keypad interfaces among the listed HID interfaces (HasKeypadIdentity), in order.
std::vector<KeypadDevice> KeypadDevicesAmong(const std::vector<HidDeviceInfo>& interfaces);

struct DeviceEvent {
  enum class Kind { Arrived, Left };
  Kind kind = Kind::Arrived;
  KeypadDevice device;
  bool operator==(const DeviceEvent&) const = default;
};

// Finds the keypads on USB and tells when one arrives or leaves.
class DeviceMonitor {
 public:
  using EventSink = std::function<void(const DeviceEvent& event)>;
  // Why the watch ended, when it ended before the stop; empty otherwise.
  using Failure = std::string;

  virtual ~DeviceMonitor() = default;
  // Watches until `stop` is asked, on the calling thread. The watch begins
  // before the first look at the present devices, so that none is missed:
  // every keypad present comes first as an arrival, then every arrival and
  // removal as it happens. A removal names the node of an earlier arrival.
  virtual Failure Run(const EventSink& sink, std::stop_token stop) = 0;
};

}  // namespace lumivane
