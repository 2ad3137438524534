#include "link/KeyboardNodeCheck.h"

#include <linux/input.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "link/EvdevKeyboardLine.h"

namespace lumivane {

namespace {

namespace fs = std::filesystem;

// The last part of the target of a sysfs link ("atkbd" for .../drivers/atkbd).
std::string LinkName(const fs::path& link) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  return error ? std::string() : target.filename().string();
}

std::string FirstWord(const fs::path& file) {
  std::ifstream in(file);
  std::string word;
  in >> word;
  return word;
}

// The driver's rounding: the first table entry not below the value, else the last.
template <std::size_t N>
std::uint8_t TableIndex(const std::array<unsigned, N>& table, unsigned value) {
  std::size_t i = 0;
  while (i + 1 < N && table[i] < value) ++i;
  return static_cast<std::uint8_t>(i);
}

}  // namespace

std::string TypematicRefusalFromSysfs(unsigned major, unsigned minor, const std::string& sysfsRoot) {
  // /sys/dev/char/M:m is the event node; its device is the input device,
  // whose device in turn is the keyboard that the driver serves.
  const fs::path node =
      fs::path(sysfsRoot) / "dev" / "char" / (std::to_string(major) + ":" + std::to_string(minor));
  const fs::path keyboard = node / "device" / "device";
  std::error_code error;
  if (!fs::is_directory(keyboard, error)) return {};

  const std::string subsystem = LinkName(keyboard / "subsystem");
  if (subsystem == "hid" || subsystem == "usb") {
    return "a HID (USB or Bluetooth) keyboard, whose driver sends no typematic settings to the "
           "keyboard; the PC/AT link needs a PS/2 keyboard";
  }
  if (LinkName(keyboard / "driver") == "atkbd" && FirstWord(keyboard / "softrepeat") == "1") {
    return "the PS/2 keyboard driver runs with softrepeat (atkbd.softrepeat=1) and sends no "
           "typematic settings to the keyboard";
  }
  return {};
}

std::string TypematicRefusalFromIdentity(const NodeIdentity& identity) {
  const char* bus = identity.busType == BUS_USB         ? "USB"
                    : identity.busType == BUS_BLUETOOTH ? "Bluetooth"
                                                        : nullptr;
  if (bus == nullptr) return {};
  char reason[200];
  std::snprintf(reason, sizeof reason,
                "a %s keyboard (vendor %04x, product %04x), whose driver sends no typematic settings "
                "to the keyboard; the PC/AT link needs a PS/2 keyboard",
                bus, identity.vendor, identity.product);
  return reason;
}

ChannelError AwaitHeldSetting(RepeatControl& control, Clock& clock, const RepeatSetting& request,
                              const RepeatSetting& wanted, Clock::TimePoint requestedAt,
                              RepeatSetting* held) {
  const Clock::TimePoint deadline = requestedAt + kRepeatConfirmTimeout;
  for (;;) {
    if (const int result = control.GetRepeat(held); result != 0)
      return EvdevKeyboardLine::ErrorFromErrno(result);
    if (*held == wanted) return ChannelError();
    if (clock.Now() >= deadline) break;
    clock.SleepFor(kRepeatConfirmPollInterval);
  }
  char reason[240];
  if (*held == request) {
    // Nothing rounded the values: no keyboard driver took the setting.
    std::snprintf(reason, sizeof reason,
                  "the repeat setting %u/%u ms was not rounded to the keyboard's %u/%u ms, so it "
                  "did not reach a keyboard; the PC/AT link needs a PS/2 keyboard without softrepeat",
                  request.delayMs, request.periodMs, wanted.delayMs, wanted.periodMs);
    return ChannelError(ChannelErrorKind::Unsupported, 0, reason);
  }
  std::snprintf(reason, sizeof reason,
                "the keyboard did not confirm the repeat setting %u/%u ms within %lld ms", wanted.delayMs,
                wanted.periodMs, static_cast<long long>(kRepeatConfirmTimeout.count()));
  return ChannelError(ChannelErrorKind::Timeout, 0, reason);
}

ChannelError CheckTypematicNode(RepeatControl& control, Clock& clock, const RepeatSetting& held) {
  NodeIdentity identity;
  if (control.GetIdentity(&identity) == 0) {
    std::string refusal = TypematicRefusalFromIdentity(identity);
    if (!refusal.empty()) return ChannelError(ChannelErrorKind::Unsupported, 0, std::move(refusal));
  }
  const std::uint8_t rate = TableIndex(kTypematicPeriodsMs, held.periodMs);
  const std::uint8_t delay = TableIndex(kTypematicDelaysMs, held.delayMs);
  const RepeatSetting request = RepeatRequestFor(rate, delay, held);
  const Clock::TimePoint requestedAt = clock.Now();
  if (const int result = control.SetRepeat(request); result != 0)
    return EvdevKeyboardLine::ErrorFromErrno(result);
  RepeatSetting now = request;
  const ChannelError probed =
      AwaitHeldSetting(control, clock, request, HeldSettingFor(rate, delay), requestedAt, &now);
  // A node that rounds holds its own values again; one that does not, the
  // request: the node gets back what it held.
  if (now != held) control.SetRepeat(held);
  return probed;
}

}  // namespace lumivane
