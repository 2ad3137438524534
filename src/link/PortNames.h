#pragma once
#include <map>
#include <string>
#include <vector>

namespace lumivane {

// The device to open for a port name of the COM port list: an absolute
// path as it is; a name mapped in the settings section Ports (names
// compared without regard to case, e.g. COM1=/dev/ttyUSB0) to its value;
// COM1..COM4 to /dev/ttyS0../dev/ttyS3; anything else unchanged.
std::string ResolvePortName(const std::string& name,
                            const std::map<std::string, std::string>& portsSection);

// The USB serial devices present (ttyUSB*, ttyACM*), sorted by name, as
// full paths. directory: where to look ("/dev" unless a test says otherwise).
std::vector<std::string> ListSerialDevices(const std::string& directory = "/dev");

}  // namespace lumivane
