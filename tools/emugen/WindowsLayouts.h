#pragma once
#include <string>
#include <vector>

#include "Accents.h"
#include "XkbLayoutReader.h"

namespace emugen {

// How the Windows layout differs from the xkb one at one key and level: it
// types this character, or it is this dead key, or (both empty) nothing.
struct KeyFix {
  int evdev;
  Level level;
  char32_t character;
  Accent dead;
};

// Everything needed to make one layout's emulator file from xkb data.
// For the plain and Shift levels the xkb layout stands unless a fix says
// otherwise, and every xkb dead key there must be confirmed by a fix. For the
// AltGr levels the fixes are the whole truth: xkb adds many AltGr characters
// Windows does not have, so only the listed ones are used.
struct LayoutRecipe {
  std::string name;         // file base name, e.g. "French"
  std::string windowsName;  // the Windows layout it follows
  std::string xkbLayout;
  std::string xkbVariant;
  std::string codePage;     // iconv name of the Windows code page
  bool latin = true;        // letters of the US key positions A-P carry the nibble keys
  std::vector<KeyFix> fixes;
};

std::vector<LayoutRecipe> WindowsLayoutRecipes();

}  // namespace emugen
