#pragma once
#include <functional>
#include <string>

#include "download/DownloadHost.h"

namespace lumivane {

class Clock;
class HidBackend;
class ImageBuilder;

// What every slot's download of one station run shares, read-only: the
// choices, the image translated once, and the channels' common parts.
// Each slot makes its own port, link, chain and driver from it.
struct StationJob {
  // Emulator, keys, layer and link as chosen; verify on unless asked off.
  // The port is each slot's own.
  DownloadChoices choices;
  // image() and imageLength() are the bytes every keypad gets.
  const ImageBuilder& image;
  // USB: the system's HID service, shared by every slot (it serialises
  // its library-wide calls itself).
  HidBackend* hidBackend = nullptr;
  // RS232: a --port value as the window would open it ([Ports] of the settings).
  std::function<std::string(const std::string& name)> resolvePortName;
  // Every slot's waits and time limits; several threads use it at once.
  Clock& clock;
};

}  // namespace lumivane
