#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "download/DownloadChain.h"
#include "download/DownloadHost.h"

namespace lumivane {

class ChannelError;
class DeviceLink;
class HidDevice;

// What one tick of the ready timer found.
// LineLost: the serial line failed or was hung up (see failureDetail()).
enum class ReadyAnswer { NotYet, Right, Wrong, DeviceGone, LineLost };

// Opens the chosen link after a successful translation, waits for the
// keypad's identity, and releases the link at the end of a download.
class LinkPreparation {
 public:
  static constexpr int kReadyTimerPeriodMs = 200;

  LinkPreparation(DownloadHost& host, const LinkChannels& channels, DeviceLink& link);
  ~LinkPreparation();

  // Start of a download: no handle, no timer, nothing waiting.
  void Reset();
  // Opens the link and asks the keypad for its identity. False when the
  // download cannot go on: failureLine() and failureDetail() then tell
  // why, for the caller to write; when the serial line was lost
  // (LineLost()) the download ends with a communication time-out.
  bool Prepare(const DownloadChoices& choices, const std::array<char, 16>& nibbleKeys);
  bool LineLost() const { return lineLost_; }
  // The status line of a failed preparation ("Unable to open COM-port");
  // empty when none is due or it was written already ("Usb Quintrel not
  // detected" by the search).
  const std::string& failureLine() const { return failureLine_; }
  // The line after it, naming the port, device or node and why; also after
  // a lost line (PollReady: LineLost), a gone device (DeviceGone) and a
  // wrong identity answer (Wrong: the bytes received).
  const std::string& failureDetail() const { return failureDetail_; }
  // One tick of the ready timer (USB and RS232). On an answer the timer stops.
  ReadyAnswer PollReady();
  // PC/AT: the download waits for the keypad's "&Yes".
  bool IsWaiting() const { return waiting_; }
  void StopWaiting() { waiting_ = false; }
  // Closes the serial port, the HID handle and the keyboard line; stops the timer.
  void Release();

 private:
  bool PrepareUsb();
  bool PrepareSerial(const DownloadChoices& choices);
  bool PreparePcAt(const std::array<char, 16>& nibbleKeys);
  bool Fail(std::string line, std::string detail);
  bool LoseLine(const ChannelError& error);
  void StartReadyTimer();
  void StopReadyTimer();

  DownloadHost& host_;
  const LinkChannels& channels_;
  DeviceLink& link_;
  LinkKind kind_ = LinkKind::Usb;
  std::unique_ptr<HidDevice> hidDevice_;
  bool timerRunning_ = false;
  bool keyboardLineOpen_ = false;
  bool waiting_ = false;
  // The port as the lines name it ("COM3 (/dev/ttyUSB0)") and the HID node.
  std::string serialPortLabel_;
  std::string hidDevicePath_;
  bool lineLost_ = false;
  std::string failureLine_;
  std::string failureDetail_;
};

}  // namespace lumivane
