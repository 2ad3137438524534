#include "link/KeyboardNodeCheck.h"

#include <filesystem>
#include <fstream>

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

}  // namespace lumivane
