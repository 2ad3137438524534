#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/DownloadHost.h"
#include "link/LayerReader.h"
#include "translator/DownloadState.h"
#include "translator/ImageBuilder.h"

namespace lumivane {

class Clock;
struct VerifyReport;
class SerialChannel;
class HidBackend;
class KeyboardLine;

// The platform channels a download may use; a channel that is null makes
// its link unusable (the link's preparation says so).
struct LinkChannels {
  SerialChannel* serialPort = nullptr;
  HidBackend* hidBackend = nullptr;
  KeyboardLine* keyboardLine = nullptr;
  // Maps the port list text ("COM1") to a device path; identity when empty.
  std::function<std::string(const std::string&)> resolvePortName;
  // The hint after "Permission denied" on a serial device (" (add your user
  // to the dialout group: ...)"); when empty, the one the system's group
  // database gives (LinkDetails.h).
  std::function<std::string(const std::string& device)> permissionHint;
  // The time of the link's pauses and answer limits and of the wait limit;
  // the monotonic clock when null. The serial port and the keyboard line
  // are given their clock when they are made.
  Clock* clock = nullptr;
};

// One download from the Download button to its last status line, with no
// widget code: translation, the report of each outcome, link preparation,
// the wait for the keypad, placement and transfer (with its verify pass
// and backup), and the end. The same chain reads a layer back
// (KeypadJob::ReadLayer) with the same preparation and wait. Its phases
// (DownloadPhase) chain through the host's message queue; what it does is
// told to the host as events, and how it ended as one DownloadOutcome.
//
// A chain shares nothing with another: several may run at once, each on
// its own thread with its own host and channels.
class DownloadChain {
 public:
  DownloadChain(DownloadHost& host, LinkChannels channels, std::string programDirectory);
  ~DownloadChain();
  DownloadChain(const DownloadChain&) = delete;
  DownloadChain& operator=(const DownloadChain&) = delete;

  // Downloads `image`, translated already (ImageReady), in place of a
  // translation of the choices' source: several chains, one per keypad,
  // share one read-only image so. Null translates again. The image must
  // not change while a chain may use it.
  void UseTranslatedImage(const ImageBuilder* image);

  void StartDownload();
  void CancelDownload();
  void OnMessage(DownloadMessage message);
  void OnReadyTimer();
  // The keypad's "&Yes" (PC/AT): the transfer starts.
  void OnYes();
  // Ends the download on the host's behalf (a signal, or input that can no
  // longer arrive), writing these status lines. A wait for the keypad ends
  // at once. A running transfer stops after the current byte, without the
  // end command; the lines then follow its end, with one more telling that
  // the keypad holds an incomplete image. The first request counts.
  void RequestStop(std::vector<std::string> lines);

  DownloadPhase phase() const;
  bool IsRunning() const;
  // From the start of the transfer until its outcome has been reported.
  bool IsTransferring() const;
  bool StopRequested() const;
  // The state of the last phase that ended.
  DownloadState state() const;
  // How the last finished download ended.
  const DownloadOutcome& outcome() const;
  bool LastDownloadSucceeded() const;
  const ImageBuilder& builder() const;
  // What the last ReadLayer job read (LayerReadEnd::Read: the layer's image).
  const LayerRead& layerRead() const;
  const VerifyReport& verifyReport() const;
  // True for a job that may write to the keypad (a download, not a read).
  bool MayWriteKeypad() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lumivane
