#include "download/LinkPreparation.h"

#include <utility>

#include "link/DeviceLink.h"
#include "link/HidChannel.h"
#include "link/HidDeviceFinder.h"
#include "link/KeypadConstants.h"
#include "link/KeyboardLine.h"
#include "link/SerialLineFailure.h"
#include "link/SerialChannel.h"

namespace lumivane {

LinkPreparation::LinkPreparation(DownloadHost& host, const LinkChannels& channels, DeviceLink& link)
    : host_(host), channels_(channels), link_(link) {}

LinkPreparation::~LinkPreparation() = default;

void LinkPreparation::Reset() {
  hidDevice_.reset();
  timerRunning_ = false;
  waiting_ = false;
  lineLost_ = false;
  failureDetail_.clear();
}

bool LinkPreparation::Fail(const char* line) {
  host_.AddStatusLine(line);
  return false;
}

bool LinkPreparation::LoseLine(const ChannelError& error) {
  StopReadyTimer();
  lineLost_ = true;
  failureDetail_ =
      DescribeSerialFailure(*channels_.serialPort, serialPortName_, error, kKeypadStoppedTaking);
  return false;
}

bool LinkPreparation::Prepare(const DownloadChoices& choices, const std::array<char, 16>& nibbleKeys) {
  kind_ = choices.link;
  switch (kind_) {
    case LinkKind::PcAt: return PreparePcAt(nibbleKeys);
    case LinkKind::Usb: return PrepareUsb();
    case LinkKind::Rs232: return PrepareSerial(choices);
    default: return Fail("Link option selected is not supported");
  }
}

bool LinkPreparation::PreparePcAt(const std::array<char, 16>& nibbleKeys) {
  KeyboardLine* line = channels_.keyboardLine;
  if (line == nullptr) return Fail("Link option selected is not supported");
  if (const ChannelError error = line->Open(); error.failed()) {
    // Without the line nothing would reach the keypad: say which node and why.
    host_.AddStatusLine(DescribeKeyboardLineFailure(*line, error));
    return false;
  }
  keyboardLineOpen_ = true;
  link_.UsePcAt(line, &host_, nibbleKeys);
  waiting_ = true;
  host_.SetYesEnabled(true);
  return true;
}

bool LinkPreparation::PrepareUsb() {
  if (channels_.hidBackend == nullptr) return Fail("Usb Quintrel not detected");
  HidDeviceFinder finder(*channels_.hidBackend);
  hidDevice_ = finder.FindDevice([this](const std::string& line) { host_.AddStatusLine(line); });
  if (!hidDevice_) return false;
  link_.UseUsb(hidDevice_.get());
  auto& report = link_.reportBuffer();
  for (int i = 0; i < 8; ++i)
    report[DeviceLink::kOutgoing + 1 + i] = static_cast<std::uint8_t>(keypad::kIdentityRequest + i);
  link_.SendFeatureReport();
  // A request the keypad did not take whole leaves nothing to wait for.
  if (link_.fault() == LinkFault::Broken) return Fail("Usb Quintrel not detected");
  StartReadyTimer();
  return true;
}

bool LinkPreparation::PrepareSerial(const DownloadChoices& choices) {
  SerialChannel* port = channels_.serialPort;
  if (port == nullptr) return Fail("Unable to open COM-port");
  const std::string name = channels_.resolvePortName ? channels_.resolvePortName(choices.portName)
                                                     : choices.portName;
  if (port->Open(name, 2048, 2048).failed()) return Fail("Unable to open COM-port");
  if (port->Setup(9600, 8, 0, 0).failed()) return Fail("Unable to set COM-port setting");
  if (port->SetupHandshaking(SerialChannel::HandshakeOff).failed())
    return Fail("Unable to set COM-port handshaking");
  if (port->SetMask(SerialChannel::EV_RXCHAR).failed()) return Fail("Unable to set COM-port event mask");
  if (port->SetupReadTimeouts(SerialChannel::ReadBlocking).failed())
    return Fail("Unable to set COM-port read timeout.");
  serialPortName_ = name;
  port->Purge();
  const std::uint8_t identityRequest = keypad::kIdentityRequest;
  if (const ChannelError error =
          port->Write(&identityRequest, 1, nullptr, DeviceLink::SerialWriteLimitMs(1));
      error.failed())
    return LoseLine(error);
  link_.UseSerial(port, name);
  StartReadyTimer();
  return true;
}

ReadyAnswer LinkPreparation::PollReady() {
  if (!timerRunning_) return ReadyAnswer::NotYet;
  bool right = false;
  if (kind_ == LinkKind::Usb) {
    link_.ClearFault();
    link_.GetFeatureReport();
    if (link_.fault() == LinkFault::Broken) {
      StopReadyTimer();
      return ReadyAnswer::DeviceGone;
    }
    const auto& report = link_.reportBuffer();
    if (report[1] == keypad::kNotReady || report[1] == keypad::kNotReadyEmpty) return ReadyAnswer::NotYet;
    right = true;
    for (int i = 0; i < 8; ++i)
      if (report[1 + i] != keypad::kIdentityAnswer + i) right = false;
  } else {
    SerialChannel* port = channels_.serialPort;
    std::uint8_t answer = 0;
    std::uint32_t received = 0;
    // A non-blocking read returns at once with what has arrived; the zero
    // limit keeps it that short whatever mode the port is in.
    ChannelError error = port->SetupReadTimeouts(SerialChannel::ReadNonBlocking);
    if (error.ok()) error = port->Read(&answer, 1, &received, 0);
    ChannelError restored = port->SetupReadTimeouts(SerialChannel::ReadBlocking);
    if (error.ok()) error = std::move(restored);
    // Reading nothing does not tell a quiet line from one that is gone.
    if (error.ok() && received == 0) error = port->CheckLine(0);
    if (error.failed()) {
      LoseLine(error);
      return ReadyAnswer::LineLost;
    }
    if (received == 0) return ReadyAnswer::NotYet;
    right = answer == keypad::kIdentityAnswer;
  }
  StopReadyTimer();
  return right ? ReadyAnswer::Right : ReadyAnswer::Wrong;
}

void LinkPreparation::StartReadyTimer() {
  host_.StartReadyTimer(kReadyTimerPeriodMs);
  timerRunning_ = true;
}

void LinkPreparation::StopReadyTimer() {
  if (!timerRunning_) return;
  host_.StopReadyTimer();
  timerRunning_ = false;
}

void LinkPreparation::Release() {
  if (channels_.serialPort != nullptr) channels_.serialPort->Close();
  hidDevice_.reset();
  StopReadyTimer();
  if (keyboardLineOpen_) {
    channels_.keyboardLine->Close();
    keyboardLineOpen_ = false;
  }
  waiting_ = false;
}

}  // namespace lumivane
