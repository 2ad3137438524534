#include "link/UsbPortPath.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace lumivane {

namespace {

bool AllOf(std::string_view text, const char* allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

// "1-2.3" (a device: bus, then the port chain) or "1-2.3:1.0" (one of its
// interfaces: configuration and interface after the colon).
bool IsUsbDeviceOrInterface(std::string_view name) {
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !AllOf(name.substr(0, dash), "0123456789")) return false;
  const std::string_view rest = name.substr(dash + 1);
  const std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return AllOf(rest, "0123456789.");
  return AllOf(rest.substr(0, colon), "0123456789.") && AllOf(rest.substr(colon + 1), "0123456789.");
}

bool IsUsbRootHub(std::string_view name) {
  return name.size() > 3 && name.substr(0, 3) == "usb" && AllOf(name.substr(3), "0123456789");
}

// "0000:00:14.0": domain, bus, slot and function.
bool IsPciAddress(std::string_view name) {
  return name.size() == 12 && name[4] == ':' && name[7] == ':' && name[10] == '.' &&
         AllOf(name.substr(0, 4), "0123456789abcdef") && AllOf(name.substr(5, 2), "0123456789abcdef") &&
         AllOf(name.substr(8, 2), "0123456789abcdef") && AllOf(name.substr(11), "01234567");
}

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

std::string UsbPortPathFromSysfs(std::string_view sysfsDevicePath) {
  const std::vector<std::string_view> parts = Components(sysfsDevicePath);
  // The USB device or interface nearest the node names the port; the
  // components above it up to the root hub are the hubs on the way.
  std::size_t usb = parts.size();
  while (usb > 0 && !IsUsbDeviceOrInterface(parts[usb - 1])) --usb;
  if (usb == 0) return {};
  const std::string_view port = parts[usb - 1];
  std::string path = "usb-0:" + std::string(port.substr(port.find('-') + 1));
  std::size_t above = usb - 1;
  while (above > 0 && (IsUsbDeviceOrInterface(parts[above - 1]) || IsUsbRootHub(parts[above - 1]))) --above;
  if (above == 0) return path;
  const std::string_view controller = parts[above - 1];
  if (IsPciAddress(controller)) return "pci-" + std::string(controller) + "-" + path;
  if (above >= 2 && parts[above - 2] == "platform") return "platform-" + std::string(controller) + "-" + path;
  return path;
}

std::string UsbPortPathOfHidraw(const std::string& node, const std::string& sysRoot) {
  const std::size_t slash = node.rfind('/');
  const std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
  if (name.empty()) return {};
  char resolved[PATH_MAX];
  const std::string entry = sysRoot + "/class/hidraw/" + name + "/device";
  if (::realpath(entry.c_str(), resolved) == nullptr) return {};
  return UsbPortPathFromSysfs(resolved);
}

}  // namespace lumivane
