#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/ChannelError.h"

namespace lumivane {

// One HID interface as the platform lists it, with the four values the
// keypad is recognised by (the vendor id is listed but never examined).
struct HidDeviceInfo {
  std::string path;  // device node, unique per interface
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t releaseNumber = 0;  // bcdDevice
  std::uint16_t usagePage = 0;
  std::wstring manufacturer;
  // Beside the identity, for telling keypads apart: the USB serial number
  // string (UTF-8; empty when the device has none) and the physical port
  // as udev's ID_PATH names it ("pci-0000:00:14.0-usb-0:2.3:1.0"; empty
  // when unknown).
  std::string serialNumber;
  std::string portPath;
};

// An open HID interface. Feature reports are 9-byte buffers, byte 0 the report ID (0).
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // As hidapi reports it: the bytes the call moved, the report ID
  // included, or -1 when it failed (for example the device was unplugged).
  // Fewer bytes than asked for is possible; the caller judges the count.
  virtual int SendFeatureReport(const std::uint8_t* report, std::size_t length) = 0;
  virtual int GetFeatureReport(std::uint8_t* report, std::size_t length) = 0;
};

// An interface opened, or why it could not be.
struct HidOpening {
  std::unique_ptr<HidDevice> device;  // null when it could not be opened
  ChannelError error;                 // why: AccessDenied/EACCES renders as "Permission denied"
};

// The platform's HID service: hidapi on Linux, the simulated keypad in tests.
class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Present interfaces in a stable order.
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  virtual HidOpening Open(const std::string& path) = 0;
};

}  // namespace lumivane
