#include "XkbLayoutReader.h"

#include <xkbcommon/xkbcommon.h>

#include <memory>

#include "ScanCodes.h"

namespace emugen {

namespace {

// Evdev codes are offset by 8 in xkb.
constexpr xkb_keycode_t XkbCode(int evdevCode) { return static_cast<xkb_keycode_t>(evdevCode + 8); }

bool IsDeadKeysym(xkb_keysym_t sym) { return sym >= 0xfe50 && sym <= 0xfe8f; }

struct ContextFree {
  void operator()(xkb_context* p) const { xkb_context_unref(p); }
};
struct KeymapFree {
  void operator()(xkb_keymap* p) const { xkb_keymap_unref(p); }
};
struct StateFree {
  void operator()(xkb_state* p) const { xkb_state_unref(p); }
};

KeySymbol ReadKey(xkb_keymap* keymap, int evdevCode, Level level) {
  std::unique_ptr<xkb_state, StateFree> state(xkb_state_new(keymap));
  KeySymbol symbol;
  if (!state) return symbol;
  const bool shift = level == kShift || level == kShiftAltGr;
  const bool altGr = level == kAltGr || level == kShiftAltGr;
  if (shift) xkb_state_update_key(state.get(), XkbCode(evdev::kLeftShift), XKB_KEY_DOWN);
  if (altGr) xkb_state_update_key(state.get(), XkbCode(evdev::kRightAlt), XKB_KEY_DOWN);
  const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.get(), XkbCode(evdevCode));
  if (IsDeadKeysym(sym)) {
    symbol.deadKeysym = sym;
  } else {
    symbol.character = xkb_state_key_get_utf32(state.get(), XkbCode(evdevCode));
  }
  return symbol;
}

}  // namespace

XkbLayoutResult ReadXkbLayout(const std::string& layout, const std::string& variant) {
  XkbLayoutResult result;
  std::unique_ptr<xkb_context, ContextFree> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!context) {
    result.error = "cannot create an xkb context";
    return result;
  }
  xkb_rule_names names{};
  names.rules = "evdev";
  names.model = "pc105";
  names.layout = layout.c_str();
  names.variant = variant.c_str();
  names.options = "";
  std::unique_ptr<xkb_keymap, KeymapFree> keymap(
      xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) {
    result.error = "cannot compile the xkb layout " + layout;
    return result;
  }
  for (const PhysicalKey& key : TypingKeys()) {
    KeyLevels levels;
    for (int level = 0; level < kLevelCount; ++level) {
      levels[level] = ReadKey(keymap.get(), key.evdev, static_cast<Level>(level));
    }
    result.keys[key.evdev] = levels;
  }
  result.ok = true;
  return result;
}

}  // namespace emugen
