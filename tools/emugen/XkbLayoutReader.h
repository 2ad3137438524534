#pragma once
#include <array>
#include <map>
#include <string>

namespace emugen {

// The four physical combinations a character can be typed with.
enum Level { kPlain = 0, kShift = 1, kAltGr = 2, kShiftAltGr = 3 };
constexpr int kLevelCount = 4;

// What one key gives at one level: a character, a dead key (its keysym), or
// nothing (both 0).
struct KeySymbol {
  char32_t character = 0;
  unsigned deadKeysym = 0;
};

using KeyLevels = std::array<KeySymbol, kLevelCount>;
// Keyed by evdev key code.
using LayoutKeys = std::map<int, KeyLevels>;

struct XkbLayoutResult {
  bool ok = false;
  std::string error;
  LayoutKeys keys;
};

// Compiles an xkeyboard-config layout (rules "evdev", model "pc105") and reads
// what each key of TypingKeys() gives with no modifier, Shift, AltGr (the right
// Alt key) and Shift+AltGr, by pressing the physical keys in a fresh state.
XkbLayoutResult ReadXkbLayout(const std::string& layout, const std::string& variant);

}  // namespace emugen
