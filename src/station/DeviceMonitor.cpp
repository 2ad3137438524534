#include "station/DeviceMonitor.h"

#include "link/HidDeviceFinder.h"

namespace lumivane {

std::vector<KeypadDevice> KeypadDevicesAmong(const std::vector<HidDeviceInfo>& interfaces) {
  std::vector<KeypadDevice> keypads;
  for (const HidDeviceInfo& info : interfaces) {
    if (!HasKeypadIdentity(info)) continue;
    keypads.push_back({info.path, info.portPath.empty() ? info.path : info.portPath, info.serialNumber});
  }
  return keypads;
}

}  // namespace lumivane
