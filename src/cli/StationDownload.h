#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/LaunchPaths.h"
#include "download/DownloadHost.h"
#include "link/Clock.h"
#include "link/HidChannel.h"
#include "station/SlotRunner.h"

namespace lumivane {

class ImageBuilder;

// What every slot's download of one station run shares, read-only: the
// choices, the image translated once, and the channels' common parts.
struct StationJob {
  DownloadChoices choices;  // source, emulator, keys, layer, link; verify on unless --no-verify
  const ImageBuilder& image;  // image() and imageLength() are the bytes every keypad gets
  std::string sha256;
  HidBackend* hidBackend = nullptr;  // USB: the system's HID service, for every slot
  // RS232: a --port value as the window would open it ([Ports] of the settings).
  std::function<std::string(const std::string& name)> resolvePortName;
  Clock& clock;
  const LaunchPaths& paths;
};

// The download of one slot as `download` runs it, and the RS232 presence
// probe. Null while the download cannot yet be run on a slot's own thread:
// `station` then ends, saying so, before any keypad is armed.
//
// NOT WIRED YET: the later step implements both on the download driver
// that runs one download to its end on the calling thread (StationDownload.cpp).
std::unique_ptr<SlotRunner> MakeStationRunner(const StationJob& job);
std::unique_ptr<PresenceProbe> MakePresenceProbe(const StationJob& job);

}  // namespace lumivane
