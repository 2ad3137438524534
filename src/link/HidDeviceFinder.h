#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/HidChannel.h"

namespace lumivane {

// Where the package installs the udev rule that gives the local user the
// keypad's node, and where an administrator puts a copy.
std::vector<std::string> InstalledUdevRuleLocations();

// Whether an interface has the keypad's identity: product id 0x3A2A,
// release number 0x5A4A, usage page 0xFF00 and the manufacturer string
// "Zoret" (the low 8 bits of each character); the vendor id is not examined.
bool HasKeypadIdentity(const HidDeviceInfo& info);

// Finds the keypad among the present HID interfaces by its identity
// (HasKeypadIdentity).
class HidDeviceFinder {
 public:
  using StatusSink = std::function<void(const std::string& line)>;

  // udevRules: where an installed udev rule may lie; the hint for a node
  // that may not be opened depends on whether one of them exists.
  explicit HidDeviceFinder(HidBackend& backend,
                           std::vector<std::string> udevRules = InstalledUdevRuleLocations());

  // The first matching interface in enumeration order, open; nullptr when
  // there is none. Writes "Usb Quintrel detected" or "Usb Quintrel not
  // detected"; failureDetail() then tells why.
  std::unique_ptr<HidDevice> FindDevice(const StatusSink& addStatusLine);

  // The node of the device found.
  const std::string& devicePath() const { return devicePath_; }
  // After "Usb Quintrel not detected": the first matching node that could
  // not be opened, with the reason and a hint; or, when nothing matched,
  // what was looked for among how many interfaces.
  const std::string& failureDetail() const { return failureDetail_; }

 private:
  std::string OpenFailureDetail(const std::string& path, const ChannelError& error) const;

  HidBackend& backend_;
  std::vector<std::string> udevRules_;
  std::string devicePath_;
  std::string failureDetail_;
};

}  // namespace lumivane
