#pragma once
#include <array>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "Accents.h"
#include "WindowsLayouts.h"
#include "XkbLayoutReader.h"

namespace emugen {

// What one key gives at one level on the Windows layout.
struct WindowsSymbol {
  char32_t character = 0;
  Accent dead = Accent::kNone;
};
using WindowsLevels = std::array<WindowsSymbol, kLevelCount>;
// Keyed by evdev key code, covering the keys of TypingKeys().
using WindowsKeymap = std::map<int, WindowsLevels>;

struct KeymapResult {
  WindowsKeymap keys;
  // Differences between xkb and the fixes, worth a look when xkeyboard-config changes.
  std::vector<std::string> notes;
  // Problems that make the result unusable (an xkb dead key nobody confirmed).
  std::vector<std::string> errors;
};

// Combines the xkb reading with the Windows fixes, as LayoutRecipe describes.
KeymapResult BuildWindowsKeymap(const LayoutKeys& xkb, std::span<const KeyFix> fixes);

}  // namespace emugen
