#include "link/PcAtLink.h"

#include "link/Clock.h"
#include "link/KeySource.h"
#include "link/KeyboardLine.h"
#include "link/LinkDetails.h"

namespace lumivane {

PcAtLink::PcAtLink(Clock& clock, KeyboardLine* line, KeySource* keys, const std::array<char, 16>& nibbleKeys)
    : DeviceLink(clock), line_(line), keys_(keys), nibbleKeys_(nibbleKeys) {}

LinkOpening PcAtLink::Prepare(const LinkLineSink&) {
  if (line_ == nullptr)
    return {LinkOpening::End::Refused, "Link option selected is not supported",
            "The PC/AT link has no keyboard line here"};
  if (const ChannelError error = line_->Open(); error.failed()) {
    // Without the line nothing would reach the keypad: the one line says
    // which node and why.
    return {LinkOpening::End::Refused, {}, KeyboardNodeDetail(line_->Name(), error)};
  }
  open_ = true;
  return {};
}

void PcAtLink::Release() {
  if (open_) line_->Close();
  open_ = false;
}

std::string PcAtLink::ChannelName() const { return line_ != nullptr ? line_->Name() : std::string(); }

std::uint8_t PcAtLink::ReadAnswer(const CommandBlock& readCommand) {
  SendCommand(readCommand);
  if (fault() == LinkFault::Broken) return 0;
  // A read whose first key did not come has failed: waiting for its
  // second key would only put off the end of a download whose keypad
  // fell silent by two more seconds.
  const int low = NextNibbleKey();
  if (low < 0 || Stopping()) {
    answersSuspect_ = true;
    NoteNoAnswer();
    return 0;
  }
  const int high = NextNibbleKey();
  if (high < 0) {
    answersSuspect_ = true;
    NoteNoAnswer();
    return static_cast<std::uint8_t>(low);
  }
  ++answeredReads_;
  return static_cast<std::uint8_t>((low + 16 * high) & 0xFF);
}

void PcAtLink::SendByte(std::uint8_t value) {
  if (SendSetting(value & 0x1F, (value >> 5) & 0x03)) SendSetting(static_cast<std::uint8_t>(value >> 7), 0);
}

bool PcAtLink::SendSetting(std::uint8_t rate, std::uint8_t delay) {
  if (fault() == LinkFault::Broken) return false;
  if (line_ == nullptr) {
    NoteFault(LinkFault::Broken);
    return false;
  }
  const ChannelError error = line_->SetTypematic(rate, delay);
  if (error.ok()) return true;
  Break(DescribeKeyboardLineFailure(*line_, error));
  return false;
}

// A setting the line refused ends the command: each further one would wait
// for its confirmation in vain.
void PcAtLink::SendCommand(const CommandBlock& block) {
  PauseFor(kCommandPause);
  for (int i = 0; i < 5 && fault() != LinkFault::Broken; ++i) SendByte(block[i]);
  const std::uint8_t last = block[5];
  if (!SendSetting(last & 0x1F, (last >> 5) & 0x03)) return;
  // The keypad knows the command only with its last setting, so every key
  // typed until then answers nothing: it is dropped here, as the keys typed
  // during the data are before the end command. Were it taken, it would
  // pass for this read's answer, and every later answer would be one off.
  if (StrayAnswerInput()) return;
  SendSetting(static_cast<std::uint8_t>(last >> 7), 0);
}

bool PcAtLink::StrayAnswerInput() {
  bool stray = false;
  if (keys_ != nullptr) {
    for (const int key : keys_->DiscardTypedKeys()) stray = stray || NibbleValue(key) >= 0;
  }
  if (!stray || (answeredReads_ == 0 && !answersSuspect_)) return false;
  AnswersOutOfStep();
  return true;
}

int PcAtLink::NextNibbleKey() {
  // The deadline is fixed: keys that are no nibble key are dropped without
  // extending it.
  const Clock::TimePoint deadline = clock().Now() + kAnswerTimeLimit;
  while (keys_ != nullptr && !Stopping()) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock().Now());
    if (remaining.count() <= 0) break;
    const int key = keys_->WaitKeyPress(remaining);
    if (key < 0) break;
    if (const int value = NibbleValue(key); value >= 0) return value;
  }
  return -1;
}

int PcAtLink::NibbleValue(int key) const {
  for (int i = 0; i < 16; ++i) {
    if (nibbleKeys_[i] != 0 && key == static_cast<unsigned char>(nibbleKeys_[i])) return i;
  }
  return -1;
}

}  // namespace lumivane
