#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "link/DeviceLink.h"

namespace lumivane {

class KeySource;
class KeyboardLine;

// The PC/AT link: bytes reach the keypad as typematic settings on the
// keyboard line, and the keypad answers a read by typing two nibble keys,
// which arrive through the key source. The keypad confirms shift+load by
// typing "&Yes", so there is no identity to poll.
class PcAtLink : public DeviceLink {
 public:
  static constexpr std::chrono::milliseconds kCommandPause{100};

  // line, keys: may be null (no line: the link is refused; no keys: no
  // answer ever comes). nibbleKeys: the key of each value 0..15.
  PcAtLink(Clock& clock, KeyboardLine* line, KeySource* keys, const std::array<char, 16>& nibbleKeys);

  LinkOpening Prepare(const LinkLineSink& addLine) override;
  bool PollsIdentity() const override { return false; }
  void Release() override;

 protected:
  std::uint8_t ReadAnswer(const CommandBlock& readCommand) override;
  void SendCommand(const CommandBlock& block) override;
  void SendData(std::uint8_t value) override { SendByte(value); }
  void CheckReadRunEnd() override { StrayAnswerInput(); }
  std::string ChannelName() const override;

 private:
  // The low seven bits travel first (rate = bits 0..4, delay = bits 5..6), the top bit second.
  void SendByte(std::uint8_t value);
  // One typematic setting; false (and the link broken) when refused.
  bool SendSetting(std::uint8_t rate, std::uint8_t delay);
  // Nibble keys typed although no read asked for them, after the keypad
  // had answered a read (other keys are the user's). Drops every typed
  // key; true when one was a nibble key.
  bool StrayAnswerInput();
  // The value of the next nibble key, -1 when none came in time.
  int NextNibbleKey();
  // The value 0..15 a key stands for, -1 when it is no nibble key.
  int NibbleValue(int key) const;

  KeyboardLine* line_;
  KeySource* keys_;
  std::array<char, 16> nibbleKeys_;
  bool open_ = false;
};

}  // namespace lumivane
