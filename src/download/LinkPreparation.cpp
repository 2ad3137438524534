#include "download/LinkPreparation.h"

#include <utility>

#include "download/FailureDetails.h"
#include "link/DeviceLink.h"
#include "link/HidChannel.h"
#include "link/HidDeviceFinder.h"
#include "link/KeypadConstants.h"
#include "link/KeyboardLine.h"
#include "link/SerialLineFailure.h"
#include "link/SerialChannel.h"

namespace lumivane {

namespace {
constexpr const char* kNotSupportedLine = "Link option selected is not supported";
constexpr const char* kNotDetectedLine = "Usb Quintrel not detected";
constexpr const char* kOpenPortLine = "Unable to open COM-port";
}  // namespace

LinkPreparation::LinkPreparation(DownloadHost& host, const LinkChannels& channels, DeviceLink& link)
    : host_(host), channels_(channels), link_(link) {}

LinkPreparation::~LinkPreparation() = default;

void LinkPreparation::Reset() {
  hidDevice_.reset();
  timerRunning_ = false;
  waiting_ = false;
  lineLost_ = false;
  failureLine_.clear();
  failureDetail_.clear();
  serialPortLabel_.clear();
  hidDevicePath_.clear();
}

bool LinkPreparation::Fail(std::string line, std::string detail) {
  failureLine_ = std::move(line);
  failureDetail_ = std::move(detail);
  return false;
}

bool LinkPreparation::LoseLine(const ChannelError& error) {
  StopReadyTimer();
  lineLost_ = true;
  failureDetail_ =
      DescribeSerialFailure(*channels_.serialPort, serialPortLabel_, error, kKeypadStoppedTaking);
  return false;
}

bool LinkPreparation::Prepare(const DownloadChoices& choices, const std::array<char, 16>& nibbleKeys) {
  kind_ = choices.link;
  switch (kind_) {
    case LinkKind::PcAt: return PreparePcAt(nibbleKeys);
    case LinkKind::Usb: return PrepareUsb();
    case LinkKind::Rs232: return PrepareSerial(choices);
    default: return Fail(kNotSupportedLine, UnsupportedLinkDetail(kind_));
  }
}

bool LinkPreparation::PreparePcAt(const std::array<char, 16>& nibbleKeys) {
  KeyboardLine* line = channels_.keyboardLine;
  if (line == nullptr) return Fail(kNotSupportedLine, "The PC/AT link has no keyboard line here");
  if (const ChannelError error = line->Open(); error.failed()) {
    // Without the line nothing would reach the keypad: the one line says
    // which node and why.
    return Fail({}, KeyboardNodeDetail(line->Name(), error));
  }
  keyboardLineOpen_ = true;
  link_.UsePcAt(line, &host_, nibbleKeys);
  waiting_ = true;
  host_.SetYesEnabled(true);
  return true;
}

bool LinkPreparation::PrepareUsb() {
  if (channels_.hidBackend == nullptr) return Fail(kNotDetectedLine, "The USB link has no HID service here");
  HidDeviceFinder finder(*channels_.hidBackend);
  hidDevice_ = finder.FindDevice([this](const std::string& line) { host_.AddStatusLine(line); });
  if (!hidDevice_) return Fail({}, finder.failureDetail());
  hidDevicePath_ = finder.devicePath();
  link_.UseUsb(hidDevice_.get(), hidDevicePath_);
  auto& report = link_.reportBuffer();
  for (int i = 0; i < 8; ++i)
    report[DeviceLink::kOutgoing + 1 + i] = static_cast<std::uint8_t>(keypad::kIdentityRequest + i);
  link_.SendFeatureReport();
  // A request the keypad did not take whole leaves nothing to wait for.
  if (link_.fault() == LinkFault::Broken) return Fail(kNotDetectedLine, link_.faultDetail());
  StartReadyTimer();
  return true;
}

bool LinkPreparation::PrepareSerial(const DownloadChoices& choices) {
  SerialChannel* port = channels_.serialPort;
  if (port == nullptr) return Fail(kOpenPortLine, "The RS232 link has no serial port here");
  const std::string name = channels_.resolvePortName ? channels_.resolvePortName(choices.portName)
                                                     : choices.portName;
  serialPortLabel_ = PortLabel(choices.portName, name);
  if (const ChannelError error = port->Open(name, 2048, 2048); error.failed()) {
    std::string hint;
    if (error.kind() == ChannelErrorKind::AccessDenied)
      hint = channels_.permissionHint ? channels_.permissionHint(name) : PermissionHint(GroupAccessOf(name));
    return Fail(kOpenPortLine, SerialOpenDetail(serialPortLabel_, error, hint));
  }
  // Each step after the open says which step failed, and the detail why.
  auto failed = [this](const char* line, const ChannelError& error) {
    if (error.ok()) return false;
    Fail(line, SerialSetupDetail(serialPortLabel_, error));
    return true;
  };
  if (failed("Unable to set COM-port setting", port->Setup(9600, 8, 0, 0)) ||
      failed("Unable to set COM-port handshaking", port->SetupHandshaking(SerialChannel::HandshakeOff)) ||
      failed("Unable to set COM-port event mask", port->SetMask(SerialChannel::EV_RXCHAR)) ||
      failed("Unable to set COM-port read timeout.", port->SetupReadTimeouts(SerialChannel::ReadBlocking)))
    return false;
  port->Purge();
  const std::uint8_t identityRequest = keypad::kIdentityRequest;
  if (const ChannelError error =
          port->Write(&identityRequest, 1, nullptr, DeviceLink::SerialWriteLimitMs(1));
      error.failed())
    return LoseLine(error);
  link_.UseSerial(port, serialPortLabel_);
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
      failureDetail_ = link_.faultDetail();
      return ReadyAnswer::DeviceGone;
    }
    const auto& report = link_.reportBuffer();
    if (report[1] == keypad::kNotReady || report[1] == keypad::kNotReadyEmpty) return ReadyAnswer::NotYet;
    std::uint8_t expected[8];
    right = true;
    for (int i = 0; i < 8; ++i) {
      expected[i] = static_cast<std::uint8_t>(keypad::kIdentityAnswer + i);
      if (report[1 + i] != expected[i]) right = false;
    }
    if (!right) failureDetail_ = WrongIdentityDetail(hidDevicePath_, &report[1], expected, 8);
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
    if (!right) failureDetail_ = WrongIdentityDetail(serialPortLabel_, &answer, &keypad::kIdentityAnswer, 1);
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
