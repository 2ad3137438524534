#pragma once
#include <functional>
#include <memory>
#include <string>

#include "link/HidChannel.h"

namespace lumivane {

// Finds the keypad among the present HID interfaces by its identity:
// product id 0x3A2A, release number 0x5A4A, usage page 0xFF00 and the
// manufacturer string "Zoret" exactly; the vendor id is not examined.
class HidDeviceFinder {
 public:
  using StatusSink = std::function<void(const std::string& line)>;

  explicit HidDeviceFinder(HidBackend& backend);

  // The first matching interface in enumeration order, open; nullptr when
  // there is none. Writes "Usb Quintrel detected" or "Usb Quintrel not
  // detected"; when a matching device exists but cannot be opened, one more
  // line names its node and the reason.
  std::unique_ptr<HidDevice> FindDevice(const StatusSink& addStatusLine);

 private:
  HidBackend& backend_;
};

}  // namespace lumivane
