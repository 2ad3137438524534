#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumivane {

class ChannelError;

// The detail lines a link writes after a failure's status line: which port,
// HID node or keyboard node, the system's reason, and a hint where one helps.

// A serial port as the lines name it: the name chosen, and the device it
// stands for when that differs ("COM3 (/dev/ttyUSB0)").
std::string PortLabel(const std::string& name, const std::string& device);

// Who may open a serial device, for the hint after "Permission denied".
struct DeviceGroupAccess {
  std::string group = "dialout";  // the group the device grants access to
  bool sessionHasGroup = false;   // this process runs with that group
  bool userInGroup = false;       // the group database lists the user in it
};
// What the system says for `device`: its group when it has one that may be
// joined (not root's, not tty's), else dialout.
DeviceGroupAccess GroupAccessOf(const std::string& device);
// " (add your user to the dialout group: sudo usermod -aG dialout $USER,
// then log in again)", or a shorter hint when the user is in the group
// already; empty when this session has the group.
std::string PermissionHint(const DeviceGroupAccess& access);

// After "Unable to open COM-port": "<port>: <reason>" with a hint for
// permission (permissionHint), a port in use and a file that is no serial port.
std::string SerialOpenDetail(const std::string& portLabel, const ChannelError& error,
                             const std::string& permissionHint);
// After a set-up step that failed ("Unable to set COM-port setting"):
// "<port>: <reason>".
std::string SerialSetupDetail(const std::string& portLabel, const ChannelError& error);

// A keyboard node that cannot serve the PC/AT link: "<node>: <reason>",
// with a hint for a node that is missing or may not be opened.
std::string KeyboardNodeDetail(const std::string& node, const ChannelError& error);

// After "Wrong Device ID": the bytes the keypad answered and those expected.
std::string WrongIdentityDetail(const std::string& device, const std::uint8_t* answer,
                                const std::uint8_t* expected, std::size_t count);

}  // namespace lumivane
