#pragma once
#include <functional>
#include <memory>
#include <string>

#include "link/DownloadHost.h"
#include "translator/DownloadState.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

class Clock;
class SerialPort;
class HidBackend;
class KeyboardLine;

// The platform channels a download may use; a channel that is null makes
// its link unusable (the link preparation reports it).
struct LinkChannels {
  SerialPort* serialPort = nullptr;
  HidBackend* hidBackend = nullptr;
  KeyboardLine* keyboardLine = nullptr;
  // Maps the port list text ("COM1") to a device path; identity when empty.
  std::function<std::string(const std::string&)> resolvePortName;
  // Time source and sleeping of the link's pauses and time limits; the
  // monotonic clock when null.
  Clock* clock = nullptr;
};

// One download from the Download button to its last status line, with no
// widget code: translation, the report of each outcome, link preparation,
// the wait for the keypad, placement and transfer, and the end.
class DownloadChain {
 public:
  DownloadChain(DownloadHost& host, LinkChannels channels, std::string programDirectory,
                bool autoRun);
  ~DownloadChain();
  DownloadChain(const DownloadChain&) = delete;
  DownloadChain& operator=(const DownloadChain&) = delete;

  void StartDownload();
  void CancelDownload();
  void OnMessage(DownloadMessage message);
  void OnReadyTimer();
  void OnYes();

  bool IsRunning() const;
  DownloadState state() const;
  // True when the last finished download ended with "DOWNLOAD SUCCESSFUL".
  bool LastDownloadSucceeded() const;
  const ImageBuilder& builder() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lumivane
