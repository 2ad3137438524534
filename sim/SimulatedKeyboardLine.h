#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/KeyboardLine.h"
#include "sim/KeypadModel.h"

namespace lumivane::sim {

// Faults of the simulated keyboard line.
struct KeyboardLineOptions {
  bool silent = false;  // reads get no nibble keys
  // Typed before the two nibble keys of every answer (a key the user hits
  // during a read, or a stray key from the keyboard).
  std::optional<int> foreignKeyBeforeAnswer;
  // The node the line stands for, as status lines name it.
  std::string node = "/dev/input/event3";
  // Open fails with this error (AccessDenied/EACCES: "Permission denied").
  std::optional<ChannelError> openError;
};

// The keypad on the PC/AT keyboard line. It takes typematic settings two
// to a byte (the first carries the low seven bits, the second the top
// bit), feeds the bytes to the keypad model, and types its answers back as
// nibble keys, low nibble first, through the given callback. When the user
// presses shift+load it types 'Y', the mnemonic of the window's "&Yes".
//
// Key codes are the characters' codes, as KeySource::WaitKeyPress
// returns them. In tests the callback appends them to the key queue of the
// fake download host (test::FakeDownloadHost::keys), whose WaitKeyPress
// hands them to the link.
class SimulatedKeyboardLine : public KeyboardLine {
 public:
  using KeyTyper = std::function<void(int key)>;
  static constexpr int kYesKey = 'Y';

  // The shift+load delay is the keypad's (KeypadOptions::shiftLoadDelay),
  // counted on `clock` (the monotonic clock when null) from Open; a keypad
  // with the silent option never presses it.
  SimulatedKeyboardLine(KeypadModel& keypad, const std::array<char, 16>& nibbleKeys,
                        KeyTyper typeKey, KeyboardLineOptions options = {}, Clock* clock = nullptr);

  std::string Name() const override { return options_.node; }
  ChannelError Open() override;
  void Close() override;
  ChannelError SetTypematic(std::uint8_t rate, std::uint8_t delay) override;

  // The user presses shift+load: the keypad enters load mode and types 'Y'.
  void PressShiftLoad();
  // Presses shift+load when the keypad's delay has passed since Open;
  // call it from the test's event loop. True when it pressed now.
  bool Poll();

  bool IsOpen() const { return open_; }
  // Every setting received, in order: (rate, delay).
  const std::vector<std::pair<std::uint8_t, std::uint8_t>>& settings() const { return settings_; }
  // Every byte put together from two settings.
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  // Second settings with bits other than the top bit (0 in a sound transfer).
  std::size_t framingErrors() const { return framingErrors_; }
  // True between the two settings of a byte.
  bool HalfByteWaiting() const { return firstHalf_.has_value(); }

 private:
  Clock::TimePoint Now() const;
  void TypeAnswer(std::uint8_t value);

  KeypadModel& keypad_;
  std::array<char, 16> nibbleKeys_;
  KeyTyper typeKey_;
  KeyboardLineOptions options_;
  Clock* clock_;
  bool open_ = false;
  bool shiftLoadPressed_ = false;
  std::optional<Clock::TimePoint> shiftLoadAt_;
  std::optional<std::uint8_t> firstHalf_;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> settings_;
  std::vector<std::uint8_t> bytes_;
  std::size_t framingErrors_ = 0;
};

}  // namespace lumivane::sim
