#include "WindowsKeymap.h"

#include <cstdio>

#include "ScanCodes.h"

namespace emugen {

namespace {

const KeyFix* FindFix(std::span<const KeyFix> fixes, int evdev, int level) {
  for (const KeyFix& fix : fixes) {
    if (fix.evdev == evdev && fix.level == level) return &fix;
  }
  return nullptr;
}

std::string Describe(int evdev, int level) {
  static constexpr const char* kLevelNames[kLevelCount] = {"plain", "Shift", "AltGr", "Shift+AltGr"};
  char text[80];
  std::snprintf(text, sizeof text, "key %d (make %u) %s", evdev, MakeCodeOf(evdev), kLevelNames[level]);
  return text;
}

bool SameAsXkb(const KeySymbol& xkb, const KeyFix& fix) {
  if (fix.dead != Accent::kNone) return AccentOfDeadKeysym(xkb.deadKeysym) == fix.dead;
  return xkb.deadKeysym == 0 && xkb.character == fix.character;
}

}  // namespace

KeymapResult BuildWindowsKeymap(const LayoutKeys& xkb, std::span<const KeyFix> fixes) {
  KeymapResult result;
  for (const PhysicalKey& key : TypingKeys()) {
    WindowsLevels levels{};
    const auto found = xkb.find(key.evdev);
    for (int level = 0; level < kLevelCount; ++level) {
      const KeySymbol xkbSymbol = found != xkb.end() ? found->second[level] : KeySymbol{};
      const KeyFix* fix = FindFix(fixes, key.evdev, level);
      if (fix) {
        levels[level] = {fix->character, fix->dead};
        if (!SameAsXkb(xkbSymbol, *fix)) result.notes.push_back(Describe(key.evdev, level) + ": differs from xkb");
        continue;
      }
      if (level >= kAltGr) continue;  // AltGr only where a fix lists it
      if (xkbSymbol.deadKeysym != 0) {
        result.errors.push_back(Describe(key.evdev, level) + ": xkb dead key not confirmed for Windows");
        continue;
      }
      levels[level] = {xkbSymbol.character, Accent::kNone};
    }
    result.keys[key.evdev] = levels;
  }
  for (const KeyFix& fix : fixes) {
    if (MakeCodeOf(fix.evdev) == 0) result.errors.push_back(Describe(fix.evdev, fix.level) + ": not a typing key");
  }
  return result;
}

}  // namespace emugen
