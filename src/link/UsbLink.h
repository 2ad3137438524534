#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "link/DeviceLink.h"

namespace lumivane {

class HidBackend;
class HidDevice;

// The USB link: every command block and up to eight data bytes travel in
// one HID feature report; a read's answer is fetched as a feature report.
class UsbLink : public DeviceLink {
 public:
  // Bytes 0..8 of the report buffer hold the incoming report, 9..17 the outgoing one.
  static constexpr std::size_t kOutgoing = 9;
  static constexpr std::size_t kReportLength = 9;

  // Prepare finds the keypad among the backend's HID interfaces.
  UsbLink(Clock& clock, HidBackend* backend);
  // A device already open; Prepare only sends the identity request.
  // deviceName: the HID node as the status log names it.
  UsbLink(Clock& clock, HidDevice& device, std::string deviceName = {});
  ~UsbLink() override;

  LinkOpening Prepare(const LinkLineSink& addLine) override;
  IdentityPoll PollIdentity() override;
  void Release() override;

 protected:
  std::uint8_t ReadAnswer(const CommandBlock& readCommand) override;
  void SendCommand(const CommandBlock& block) override;
  void SendData(std::uint8_t value) override;
  std::string ChannelName() const override { return deviceName_; }

 private:
  // Data bytes still waiting in the outgoing report leave ahead of the
  // command, which takes data bytes 1..6; bytes 7 and 8 keep what the last
  // report left there: they are on the wire.
  void PlaceCommand(const CommandBlock& block);
  // The outgoing half (report ID 0 and data bytes 1..8) goes out, or an
  // incoming report is fetched into the incoming half.
  void SendReport();
  void FetchReport();
  // Judges a feature-report call's byte count.
  void NoteReportMoved(int moved);

  HidBackend* backend_ = nullptr;
  std::unique_ptr<HidDevice> owned_;
  HidDevice* device_ = nullptr;
  std::string deviceName_;
  std::array<std::uint8_t, 18> reportBuffer_{};
  // The next data byte's place in the outgoing report (1..8).
  std::size_t pendingCount_ = 1;
};

}  // namespace lumivane
