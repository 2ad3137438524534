#include "link/HidDeviceFinder.h"

#include <cstddef>
#include <cstdint>
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

bool HasKeypadIdentity(const HidDeviceInfo& info) {
  return info.productId == keypad::kProductId && info.releaseNumber == keypad::kReleaseNumber &&
         info.usagePage == keypad::kVendorUsagePage && ManufacturerMatches(info.manufacturer);
}

}  // namespace

HidDeviceFinder::HidDeviceFinder(HidBackend& backend) : backend_(backend) {}

std::unique_ptr<HidDevice> HidDeviceFinder::FindDevice(const StatusSink& addStatusLine) {
  // The enumeration already carries the identity, so only a match is opened;
  // a match that cannot be opened is skipped like an interface that cannot
  // be opened, and the search goes on with the next one.
  std::string firstOpenFailure;
  for (const HidDeviceInfo& info : backend_.Enumerate()) {
    if (!HasKeypadIdentity(info)) continue;
    ChannelError error;
    std::unique_ptr<HidDevice> device = backend_.Open(info.path, &error);
    if (device) {
      addStatusLine("Usb Quintrel detected");
      return device;
    }
    if (firstOpenFailure.empty()) {
      const std::string reason = error.failed() ? error.Reason() : "the device cannot be opened";
      firstOpenFailure =
          "Cannot open " + info.path + ": " + reason + " (install packaging/linux/70-lumivane.rules)";
    }
  }
  addStatusLine("Usb Quintrel not detected");
  // Without this line a keypad that lacks access rights looks like no keypad.
  if (!firstOpenFailure.empty()) addStatusLine(firstOpenFailure);
  return nullptr;
}

}  // namespace lumivane
