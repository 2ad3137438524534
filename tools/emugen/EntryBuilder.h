#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "CodePage.h"
#include "WindowsKeymap.h"

namespace emugen {

// One key stroke of a character key with the modifiers held for it.
struct Stroke {
  uint8_t make;
  bool shift;
  bool altGr;
};

// The numbers of an entry that types these strokes one after the other.
// Modifiers toggle (first code presses, the next releases), so between two
// strokes only the modifiers that change are sent, releases first; whatever
// is still down at the end of the entry the keypad releases itself.
std::vector<unsigned> EncodeStrokes(std::span<const Stroke> strokes);

// Left Alt held while the decimal value is typed on the numeric keypad.
// With a leading keypad 0 Windows takes the value from the ANSI code page of
// the layout, without it from the OEM code page (same as ASCII below 128).
std::vector<unsigned> AltCodeNumbers(unsigned value, bool leadingZero);

// A single-character entry: the byte names it.
struct CharEntry {
  uint8_t byte;
  std::vector<unsigned> numbers;
};

// Entries for every printable byte of the code page on a layout, simplest
// stroke first: characters on keys (all plain ones, then Shift, AltGr,
// Shift+AltGr, keys in TypingKeys() order), then dead key + letter, then dead
// key + space for the spacing accents, and Alt codes for the rest. Each byte
// gets one entry.
std::vector<CharEntry> BuildLayoutEntries(const WindowsKeymap& keymap, const CodePage& codePage);

// Entries typing each printable byte of the code page (or only the printable
// ASCII bytes) through Alt codes.
std::vector<CharEntry> BuildAltCodeEntries(const CodePage& codePage, bool asciiOnly);

}  // namespace emugen
