#pragma once
#include <string>
#include <string_view>

namespace lumivane {

// The physical port a device hangs on, named as udev's path_id names it
// (ID_PATH): the nearest PCI or platform controller, then the USB port
// chain, configuration and interface, as in
// "pci-0000:00:14.0-usb-0:2.3:1.0". The same keypad in the same socket gets
// the same name, whichever node number the system gives it. Empty when the
// path leads through no USB device.
std::string UsbPortPathFromSysfs(std::string_view sysfsDevicePath);

// The same for a hidraw node ("/dev/hidraw3"), from its sysfs entry under
// sysRoot; empty when the node has no sysfs entry or is no USB device.
std::string UsbPortPathOfHidraw(const std::string& node, const std::string& sysRoot = "/sys");

}  // namespace lumivane
