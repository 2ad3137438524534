#pragma once
#include <string>

namespace lumivane {

// What sysfs tells about the keyboard behind an evdev node (character
// device major:minor, sysfs mounted at sysfsRoot): the reason why its
// driver cannot send typematic settings to the keyboard, or an empty text
// when sysfs shows no such reason or nothing at all.
//
// Refused are a HID keyboard (USB or Bluetooth: the host repeats keys
// itself and the keyboard never gets a typematic command) and a PS/2
// keyboard whose atkbd driver runs with softrepeat. A node that sysfs does
// not describe (a virtual device, another kind of node) is not refused.
std::string TypematicRefusalFromSysfs(unsigned major, unsigned minor, const std::string& sysfsRoot);

}  // namespace lumivane
