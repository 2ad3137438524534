#pragma once
#include <chrono>
#include <string>

#include "link/ChannelError.h"
#include "link/Clock.h"
#include "link/EvdevRepeatControl.h"

namespace lumivane {

// Whether the keyboard behind an evdev node can carry the PC/AT link: its
// driver must send each typematic setting to the keyboard. A USB or
// Bluetooth keyboard, and a PS/2 keyboard whose driver runs with
// softrepeat, keep repeat settings in software and send none.

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

// The reason why a node of this identity cannot carry the link (a USB or
// Bluetooth keyboard), or an empty text when its bus does not tell.
std::string TypematicRefusalFromIdentity(const NodeIdentity& identity);

// How long a setting may take to show on the node before it counts as
// failed, and how often the node is looked at meanwhile.
inline constexpr std::chrono::milliseconds kRepeatConfirmTimeout{500};
inline constexpr std::chrono::milliseconds kRepeatConfirmPollInterval{2};

// Waits on the clock until the node holds `wanted`, the table values of a
// setting asked for as `request` at requestedAt; *held gets what the node
// held last. A driver that sends the setting rounds the node's values to
// its table once it has. Fails with Unsupported when the node still holds
// the request at the time limit (no driver rounded it), with Timeout when
// it holds anything else, or with the system's error.
ChannelError AwaitHeldSetting(RepeatControl& control, Clock& clock, const RepeatSetting& request,
                              const RepeatSetting& wanted, Clock::TimePoint requestedAt,
                              RepeatSetting* held);

// Checks an open node that holds `held`, before anything waits on the
// keypad: the node's identity, then one setting that a driver which sends
// settings rounds to its table (the node's own values, asked for just
// below their table entries, so that the keyboard keeps its repeat). The
// node holds `held` again afterwards. Fails with Unsupported and the
// reason, or with the system's error; at most kRepeatConfirmTimeout.
ChannelError CheckTypematicNode(RepeatControl& control, Clock& clock, const RepeatSetting& held);

}  // namespace lumivane
