#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "download/DownloadEvents.h"
#include "link/KeySource.h"

namespace lumivane {

enum class LinkKind { PcAt, Usb, Rs232, Rs485, Modem, Internet, Wireless };

// What a download does once the keypad is ready.
enum class KeypadJob {
  Download,   // place and write the image
  ReadLayer,  // read the chosen layer back; nothing is written
};

// The three messages that chain the phases of a download.
enum class DownloadMessage { Translate, Report, Transfer };

// The choices a download reads once, when it starts translating.
struct DownloadChoices {
  std::string sourcePath;    // path field
  std::string emulatorName;  // emulator list text; the file is programDirectory + name + ".emu"
  std::string emulatorFile;  // when not empty, used as the emulator file instead of the name
  // The folders emulatorName was looked up in, for the line that names
  // them when no file was found; empty when a file was named directly.
  std::vector<std::string> emulatorDirectories;
  std::string keysText;      // keys list text
  std::string portName;      // COM port list text ("COM1", or a device path)
  LinkKind link = LinkKind::Usb;
  int layer = 1;  // 2 only when the Layer 2 radio is checked
  // How long to wait for shift+load before the download ends; 0 waits
  // until Cancel.
  std::chrono::milliseconds waitLimit{0};
  KeypadJob job = KeypadJob::Download;
  // Download: read every written byte back before the end command.
  bool verify = false;
  // Download: when not empty, the target layer is read first and handed to
  // DownloadHost::SaveBackup under this name, before anything is written.
  std::string backupPath;
  // Layers read back (ReadLayer, the backup) recognise the key table's
  // size. ReadLayer translates the source when one is given (to compare
  // with it); without one only the emulator is loaded, for the nibble keys
  // of the PC/AT link.
};

// Whether a backup was kept, and the status line that says why not.
struct BackupResult {
  bool kept = false;
  std::string failureLine;
};

// What the download chain needs from whoever runs it (the window, the
// command line, a station slot, a test): the choices, a message queue, the
// ready timer, stop requests, key presses and the backup's file; and where
// its events go (DownloadEvents). Everything runs on the chain's thread.
class DownloadHost : public DownloadEvents, public KeySource {
 public:
  virtual DownloadChoices ReadChoices() = 0;
  // Queue a message; it is delivered later through DownloadChain::OnMessage.
  virtual void Post(DownloadMessage message) = 0;
  // The ready timer; its ticks are delivered through DownloadChain::OnReadyTimer.
  virtual void StartReadyTimer(int periodMs) = 0;
  virtual void StopReadyTimer() = 0;
  // Called now and then during the translation (which runs without the
  // event loop), after every byte of the transfer and during its key
  // waits: a host that holds a stop request (a signal) hands it to
  // DownloadChain::RequestStop now. Returns at once.
  virtual void DeliverStopRequests() {}
  // A download with a backup: keeps `image` (the target layer's image, its
  // key table as image offsets) under `path`, whole or not at all, before
  // anything is written to the keypad. Not kept: the download then writes
  // nothing, and the failure line says why (empty when the host told it
  // elsewhere).
  virtual BackupResult SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) {
    (void)image;
    return {false, "Unable to write the backup to " + path + ": not supported here"};
  }
};

}  // namespace lumivane
