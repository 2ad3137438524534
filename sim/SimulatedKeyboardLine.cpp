#include "sim/SimulatedKeyboardLine.h"

namespace lumivane::sim {

SimulatedKeyboardLine::SimulatedKeyboardLine(KeypadModel& keypad,
                                             const std::array<char, 16>& nibbleKeys,
                                             KeyTyper typeKey, KeyboardLineOptions options,
                                             Clock* clock)
    : keypad_(keypad),
      nibbleKeys_(nibbleKeys),
      typeKey_(std::move(typeKey)),
      options_(std::move(options)),
      clock_(clock) {}

Clock::TimePoint SimulatedKeyboardLine::Now() const {
  return clock_ ? clock_->Now() : SteadyClock().Now();
}

ChannelError SimulatedKeyboardLine::Open() {
  if (options_.openError) return *options_.openError;
  open_ = true;
  firstHalf_.reset();
  shiftLoadPressed_ = false;
  shiftLoadAt_.reset();
  const KeypadOptions& keypadOptions = keypad_.options();
  if (keypadOptions.shiftLoadDelay && !keypadOptions.silent) {
    shiftLoadAt_ = Now() + *keypadOptions.shiftLoadDelay;
  }
  return ChannelError();
}

void SimulatedKeyboardLine::Close() { open_ = false; }

ChannelError SimulatedKeyboardLine::SetTypematic(std::uint8_t rate, std::uint8_t delay) {
  if (!open_) return ChannelError(ChannelErrorKind::NotOpen);
  if (rate > 31 || delay > 3) return ChannelError(ChannelErrorKind::InvalidArgument);
  settings_.emplace_back(rate, delay);
  // The keyboard controller sends the parameter byte delay * 32 + rate.
  const std::uint8_t parameter = static_cast<std::uint8_t>(delay << 5 | rate);
  if (!firstHalf_) {
    firstHalf_ = parameter;
    return ChannelError();
  }
  if (parameter > 1) ++framingErrors_;
  const std::uint8_t value = static_cast<std::uint8_t>(*firstHalf_ | (parameter & 1u) << 7);
  firstHalf_.reset();
  bytes_.push_back(value);
  for (std::uint8_t answer : keypad_.ReceiveByte(value)) TypeAnswer(answer);
  return ChannelError();
}

void SimulatedKeyboardLine::TypeAnswer(std::uint8_t value) {
  if (options_.silent || !typeKey_) return;
  if (options_.foreignKeyBeforeAnswer) typeKey_(*options_.foreignKeyBeforeAnswer);
  typeKey_(static_cast<unsigned char>(nibbleKeys_[value & 0x0F]));
  typeKey_(static_cast<unsigned char>(nibbleKeys_[value >> 4]));
}

void SimulatedKeyboardLine::PressShiftLoad() {
  shiftLoadPressed_ = true;
  keypad_.PressShiftLoad();
  keypad_.BeginLoad();
  if (typeKey_) typeKey_(kYesKey);
}

bool SimulatedKeyboardLine::Poll() {
  if (!open_ || shiftLoadPressed_ || !shiftLoadAt_ || Now() < *shiftLoadAt_) return false;
  PressShiftLoad();
  return true;
}

}  // namespace lumivane::sim
