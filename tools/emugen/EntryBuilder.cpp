#include "EntryBuilder.h"

#include <array>
#include <optional>
#include <string>

#include "ScanCodes.h"

namespace emugen {

namespace {

void PressAltGr(std::vector<unsigned>& numbers) {
  numbers.push_back(code::kExtendedPrefix);
  numbers.push_back(code::kLeftAlt);
}

Stroke StrokeAt(int evdev, int level) {
  return {MakeCodeOf(evdev), level == kShift || level == kShiftAltGr, level == kAltGr || level == kShiftAltGr};
}

// Collects entries and remembers which bytes already have one.
class EntryList {
 public:
  explicit EntryList(const CodePage& codePage) : codePage_(codePage) {}

  bool Has(char32_t character) const {
    const int byte = codePage_.ByteOf(character);
    return byte >= 0 && taken_[byte];
  }
  // Adds the entry unless the character is outside the code page or has one.
  void Add(char32_t character, std::vector<unsigned> numbers) {
    const int byte = codePage_.ByteOf(character);
    if (byte < 0 || taken_[byte] || !codePage_.IsPrintable(static_cast<uint8_t>(byte))) return;
    taken_[byte] = true;
    entries_.push_back({static_cast<uint8_t>(byte), std::move(numbers)});
  }
  void AddAltCodesForTheRest() {
    for (int byte = 0; byte < 256; ++byte) {
      if (!taken_[byte] && codePage_.IsPrintable(static_cast<uint8_t>(byte))) {
        taken_[byte] = true;
        entries_.push_back({static_cast<uint8_t>(byte), AltCodeNumbers(static_cast<unsigned>(byte), true)});
      }
    }
  }
  std::vector<CharEntry> Take() { return std::move(entries_); }

 private:
  const CodePage& codePage_;
  std::array<bool, 256> taken_{};
  std::vector<CharEntry> entries_;
};

// The plain or Shift stroke that types a base letter after a dead key.
std::optional<Stroke> BaseStroke(const WindowsKeymap& keymap, char32_t base) {
  for (int level : {kPlain, kShift}) {
    for (const PhysicalKey& key : TypingKeys()) {
      const auto found = keymap.find(key.evdev);
      if (found != keymap.end() && found->second[level].character == base) return StrokeAt(key.evdev, level);
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<unsigned> EncodeStrokes(std::span<const Stroke> strokes) {
  std::vector<unsigned> numbers;
  bool shiftDown = false;
  bool altGrDown = false;
  for (const Stroke& stroke : strokes) {
    if (altGrDown && !stroke.altGr) PressAltGr(numbers);
    if (shiftDown != stroke.shift) numbers.push_back(code::kLeftShift);
    if (!altGrDown && stroke.altGr) PressAltGr(numbers);
    shiftDown = stroke.shift;
    altGrDown = stroke.altGr;
    numbers.push_back(stroke.make);
  }
  return numbers;
}

std::vector<unsigned> AltCodeNumbers(unsigned value, bool leadingZero) {
  std::vector<unsigned> numbers{code::kLeftAlt};
  if (leadingZero) numbers.push_back(code::kKeypadDigit[0]);
  const std::string digits = std::to_string(value);
  for (char digit : digits) numbers.push_back(code::kKeypadDigit[digit - '0']);
  return numbers;
}

std::vector<CharEntry> BuildLayoutEntries(const WindowsKeymap& keymap, const CodePage& codePage) {
  EntryList list(codePage);
  for (int level = 0; level < kLevelCount; ++level) {
    for (const PhysicalKey& key : TypingKeys()) {
      const auto found = keymap.find(key.evdev);
      if (found == keymap.end()) continue;
      const WindowsSymbol& symbol = found->second[level];
      if (symbol.character == 0) continue;
      const Stroke stroke = StrokeAt(key.evdev, level);
      list.Add(symbol.character, EncodeStrokes(std::span(&stroke, 1)));
    }
  }
  // Dead keys: letters first for all of them, then the spacing accents, so a
  // key's own character never hides behind another key's dead key.
  const Stroke space{static_cast<uint8_t>(code::kSpace), false, false};
  for (bool spacing : {false, true}) {
    for (int level = 0; level < kLevelCount; ++level) {
      for (const PhysicalKey& key : TypingKeys()) {
        const auto found = keymap.find(key.evdev);
        if (found == keymap.end() || found->second[level].dead == Accent::kNone) continue;
        const Accent accent = found->second[level].dead;
        const Stroke deadStroke = StrokeAt(key.evdev, level);
        if (spacing) {
          const Stroke strokes[] = {deadStroke, space};
          list.Add(SpacingFormOf(accent), EncodeStrokes(strokes));
          continue;
        }
        for (const Composition& composition : CompositionsOf(accent)) {
          if (list.Has(composition.result)) continue;
          const std::optional<Stroke> base = BaseStroke(keymap, composition.base);
          if (!base) continue;
          const Stroke strokes[] = {deadStroke, *base};
          list.Add(composition.result, EncodeStrokes(strokes));
        }
      }
    }
  }
  list.AddAltCodesForTheRest();
  return list.Take();
}

std::vector<CharEntry> BuildAltCodeEntries(const CodePage& codePage, bool asciiOnly) {
  std::vector<CharEntry> entries;
  for (int byte = 0; byte < 256; ++byte) {
    if (!codePage.IsPrintable(static_cast<uint8_t>(byte))) continue;
    if (asciiOnly && byte > 126) continue;
    entries.push_back({static_cast<uint8_t>(byte), AltCodeNumbers(static_cast<unsigned>(byte), !asciiOnly)});
  }
  return entries;
}

}  // namespace emugen
