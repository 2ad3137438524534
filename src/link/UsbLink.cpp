#include "link/UsbLink.h"

#include <cstdio>
#include <utility>

#include "link/HidChannel.h"
#include "link/HidDeviceFinder.h"
#include "link/KeypadConstants.h"
#include "link/LinkDetails.h"

namespace lumivane {

namespace {
constexpr const char* kNotDetectedLine = "Usb Quintrel not detected";
}  // namespace

UsbLink::UsbLink(Clock& clock, HidBackend* backend) : DeviceLink(clock), backend_(backend) {}

UsbLink::UsbLink(Clock& clock, HidDevice& device, std::string deviceName)
    : DeviceLink(clock), device_(&device), deviceName_(std::move(deviceName)) {}

UsbLink::~UsbLink() = default;

LinkOpening UsbLink::Prepare(const LinkLineSink& addLine) {
  if (device_ == nullptr) {
    if (backend_ == nullptr) return {LinkOpening::End::Refused, kNotDetectedLine, "The USB link has no HID service here"};
    HidDeviceFinder finder(*backend_);
    owned_ = finder.FindDevice(addLine);
    if (!owned_) return {LinkOpening::End::Refused, {}, finder.failureDetail()};
    device_ = owned_.get();
    deviceName_ = finder.devicePath();
  }
  for (std::size_t i = 0; i < 8; ++i)
    reportBuffer_[kOutgoing + 1 + i] = static_cast<std::uint8_t>(keypad::kIdentityRequest + i);
  SendReport();
  // A request the keypad did not take whole leaves nothing to wait for.
  if (fault() == LinkFault::Broken) return {LinkOpening::End::Refused, kNotDetectedLine, faultDetail()};
  return {};
}

IdentityPoll UsbLink::PollIdentity() {
  ClearFault();
  FetchReport();
  if (fault() == LinkFault::Broken) return {IdentityAnswer::DeviceGone, kNotDetectedLine, faultDetail()};
  const std::uint8_t* answer = &reportBuffer_[1];
  if (answer[0] == keypad::kNotReady || answer[0] == keypad::kNotReadyEmpty) return {};
  std::uint8_t expected[8];
  bool right = true;
  for (int i = 0; i < 8; ++i) {
    expected[i] = static_cast<std::uint8_t>(keypad::kIdentityAnswer + i);
    if (answer[i] != expected[i]) right = false;
  }
  if (right) return {IdentityAnswer::Right, {}, {}};
  return {IdentityAnswer::Wrong, {}, WrongIdentityDetail(deviceName_, answer, expected, 8)};
}

void UsbLink::Release() {
  owned_.reset();
  device_ = nullptr;
}

void UsbLink::PlaceCommand(const CommandBlock& block) {
  if (pendingCount_ != 1) {
    SendReport();
    pendingCount_ = 1;
  }
  for (std::size_t i = 0; i < block.size(); ++i) reportBuffer_[kOutgoing + 1 + i] = block[i];
}

std::uint8_t UsbLink::ReadAnswer(const CommandBlock& readCommand) {
  PlaceCommand(readCommand);
  SendReport();
  FetchReport();
  // A fetch that failed may have left an earlier report's bytes there.
  return fault() == LinkFault::Broken ? 0 : reportBuffer_[1];
}

void UsbLink::SendCommand(const CommandBlock& block) {
  PlaceCommand(block);
  SendReport();
}

void UsbLink::SendData(std::uint8_t value) {
  reportBuffer_[kOutgoing + pendingCount_] = value;
  if (++pendingCount_ == 9) {
    SendReport();
    pendingCount_ = 1;
  }
}

void UsbLink::SendReport() {
  reportBuffer_[kOutgoing] = 0;
  NoteReportMoved(device_ ? device_->SendFeatureReport(&reportBuffer_[kOutgoing], kReportLength) : -1);
}

void UsbLink::FetchReport() {
  reportBuffer_[0] = 0;
  NoteReportMoved(device_ ? device_->GetFeatureReport(&reportBuffer_[0], kReportLength) : -1);
}

void UsbLink::NoteReportMoved(int moved) {
  // A report counts only when all of it moved: a short one (0 included)
  // left the keypad without the command, or the incoming half holding
  // what an earlier report left there.
  if (moved == static_cast<int>(kReportLength)) return;
  std::string detail;
  if (!deviceName_.empty()) {
    char text[96];
    if (moved < 0) {
      std::snprintf(text, sizeof text, ": a feature report failed (the keypad was unplugged or stopped answering)");
    } else {
      std::snprintf(text, sizeof text, ": a feature report moved %d of %zu bytes", moved, kReportLength);
    }
    detail = deviceName_ + text;
  }
  Break(std::move(detail));
}

}  // namespace lumivane
