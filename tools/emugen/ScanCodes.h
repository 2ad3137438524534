#pragma once
#include <cstdint>
#include <span>

namespace emugen {

// One key of a PC keyboard: its Linux evdev key code and its PS/2 scan code
// set 2 make code. Extended keys send the E0 prefix (224) first.
struct PhysicalKey {
  int evdev;
  uint8_t make;
  bool extended;
};

// The character keys of the main block, in the order the generator visits
// them: number row, top letter row, home row (with the key left of Enter),
// bottom row starting with the extra key of 102-key boards, then the space bar.
// The numeric keypad is left out on purpose: its keys depend on NumLock.
std::span<const PhysicalKey> TypingKeys();

// A named key of the emulator files (ENTER, F1, KP0, ...).
struct NamedKey {
  const char* name;
  uint8_t make;
  bool extended;
};
std::span<const NamedKey> NamedKeys();

// Make codes used to build character entries.
namespace code {
constexpr unsigned kExtendedPrefix = 224;
constexpr unsigned kLeftShift = 18;
constexpr unsigned kLeftAlt = 17;
constexpr unsigned kSpace = 41;
// Numeric keypad digits 0-9, as typed with NumLock on.
constexpr unsigned kKeypadDigit[10] = {112, 105, 114, 122, 107, 115, 116, 108, 117, 125};
}  // namespace code

// The sixteen keys whose plain characters carry hexadecimal digits over the
// keyboard line: the keys of the US letters A to P.
constexpr unsigned kNibbleCodes[16] = {28, 50, 33, 35, 36, 43, 52, 51, 67, 59, 66, 75, 58, 49, 68, 77};

// Evdev codes of the modifiers the reader presses while reading a layout.
namespace evdev {
constexpr int kLeftShift = 42;
constexpr int kRightAlt = 100;
}  // namespace evdev

// Make code of an evdev key of TypingKeys(); 0 when the key is not one of them.
uint8_t MakeCodeOf(int evdevCode);

}  // namespace emugen
