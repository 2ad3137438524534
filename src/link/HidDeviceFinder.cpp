#include "link/HidDeviceFinder.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "link/KeypadConstants.h"

namespace lumivane {

namespace {

// Positions 0..5 of "Zoret\0": only the low 8 bits of each character count,
// and a position past the end of the device's string reads as its terminator.
bool ManufacturerMatches(const std::wstring& manufacturer) {
  for (std::size_t i = 0; i < sizeof keypad::kManufacturer; ++i) {
    const std::uint32_t unit =
        i < manufacturer.size() ? static_cast<std::uint32_t>(manufacturer[i]) : 0u;
    if ((unit & 0xFFu) != static_cast<unsigned char>(keypad::kManufacturer[i])) return false;
  }
  return true;
}

std::string NothingMatchedDetail(std::size_t interfaces) {
  char text[200];
  std::snprintf(text, sizeof text,
                "No HID interface has the keypad's identity (product 0x%04X, release 0x%04X, usage "
                "page 0x%04X, manufacturer \"%s\"); %zu HID interface%s present",
                keypad::kProductId, keypad::kReleaseNumber, keypad::kVendorUsagePage,
                keypad::kManufacturer, interfaces, interfaces == 1 ? " is" : "s are");
  return text;
}

}  // namespace

bool HasKeypadIdentity(const HidDeviceInfo& info) {
  return info.productId == keypad::kProductId && info.releaseNumber == keypad::kReleaseNumber &&
         info.usagePage == keypad::kVendorUsagePage && ManufacturerMatches(info.manufacturer);
}

std::vector<std::string> InstalledUdevRuleLocations() {
  return {"/usr/lib/udev/rules.d/70-lumivane.rules", "/lib/udev/rules.d/70-lumivane.rules",
          "/etc/udev/rules.d/70-lumivane.rules"};
}

HidDeviceFinder::HidDeviceFinder(HidBackend& backend, std::vector<std::string> udevRules)
    : backend_(backend), udevRules_(std::move(udevRules)) {}

std::string HidDeviceFinder::OpenFailureDetail(const std::string& path, const ChannelError& error) const {
  const std::string reason = error.failed() ? error.Reason() : "the device cannot be opened";
  std::string hint;
  if (error.kind() == ChannelErrorKind::AccessDenied) {
    // The rule in place and still no access: it applies to a keypad plugged
    // in after it, and to the user of the local session only.
    for (const std::string& rule : udevRules_) {
      if (::access(rule.c_str(), F_OK) == 0) {
        hint = " (" + rule +
               " is installed: plug the keypad in again, in a session at the machine itself)";
        break;
      }
    }
    if (hint.empty()) hint = " (install packaging/linux/70-lumivane.rules)";
  } else if (error.kind() == ChannelErrorKind::Busy) {
    hint = " (another program holds it)";
  }
  return "Cannot open " + path + ": " + reason + hint;
}

std::unique_ptr<HidDevice> HidDeviceFinder::FindDevice(const StatusSink& addStatusLine) {
  devicePath_.clear();
  failureDetail_.clear();
  // The enumeration already carries the identity, so only a match is opened;
  // a match that cannot be opened is skipped like an interface that cannot
  // be opened, and the search goes on with the next one.
  const std::vector<HidDeviceInfo> interfaces = backend_.Enumerate();
  for (const HidDeviceInfo& info : interfaces) {
    if (!HasKeypadIdentity(info)) continue;
    HidOpening opening = backend_.Open(info.path);
    if (opening.device) {
      addStatusLine("Usb Quintrel detected");
      devicePath_ = info.path;
      failureDetail_.clear();
      return std::move(opening.device);
    }
    // Without this line a keypad that lacks access rights looks like no keypad.
    if (failureDetail_.empty()) failureDetail_ = OpenFailureDetail(info.path, opening.error);
  }
  addStatusLine("Usb Quintrel not detected");
  if (failureDetail_.empty()) failureDetail_ = NothingMatchedDetail(interfaces.size());
  return nullptr;
}

}  // namespace lumivane
