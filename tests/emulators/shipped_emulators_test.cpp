// Checks of the emulator files shipped in emulators/: format, completeness,
// nibble keys, the sample configuration, and spot checks of known strokes.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestPaths.h"
#include "translator/EmulatorTable.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {
namespace {

const std::vector<std::string> kLatinLayouts = {
    "Belgian", "Canadian",    "Custom",    "Danish",     "Dutch",   "English_UK", "English_US", "French",
    "German",  "Italian",     "LatinAmeric", "Norwegian", "Portuguese", "Spanish", "Swedish",  "Swiss"};
const std::vector<std::string> kOtherLayouts = {"ANSI", "ASCII", "Arabic", "Israeli"};

std::vector<std::string> AllLayouts() {
  std::vector<std::string> all = kLatinLayouts;
  all.insert(all.end(), kOtherLayouts.begin(), kOtherLayouts.end());
  return all;
}

std::string EmuPath(const std::string& name) { return SourceDir() + "/emulators/" + name + ".emu"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// An entry line as the file states it: name and the list of number texts.
struct RawEntry {
  std::string name;
  std::vector<std::string> numbers;
};

// Every line with a '=' after a non-empty name, split at the first '=' that
// follows the name's first byte (so "==85" is the entry of '=').
std::vector<RawEntry> RawEntries(const std::string& text) {
  std::vector<RawEntry> entries;
  for (const std::string& line : Lines(text)) {
    if (line.size() < 2 || line.rfind("# ", 0) == 0) continue;
    const size_t equals = line.find('=', 1);
    if (equals == std::string::npos) continue;
    RawEntry entry{line.substr(0, equals), {}};
    std::string rest = line.substr(equals + 1);
    size_t start = 0;
    while (true) {
      const size_t comma = rest.find(',', start);
      entry.numbers.push_back(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    entries.push_back(entry);
  }
  return entries;
}

std::vector<unsigned> Numbers(const std::string& path, const std::string& name) {
  EmulatorTable table(path);
  std::vector<unsigned> numbers;
  if (!table.FindName(name.c_str())) return numbers;
  for (unsigned n = table.NextNumber(); n != 0; n = table.NextNumber()) numbers.push_back(n);
  return numbers;
}

using Codes = std::vector<unsigned>;

TEST(ShippedEmulators, EveryFileLoadsAndEveryEntryIsWellFormed) {
  for (const std::string& name : AllLayouts()) {
    SCOPED_TRACE(name);
    EmulatorTable table(EmuPath(name));
    ASSERT_TRUE(table.IsLoaded());
    EXPECT_EQ(table.Failure(), EmulatorFailure::None);

    const std::string text = ReadFile(EmuPath(name));
    std::set<std::string> names;
    for (const std::string& line : Lines(text)) {
      // Comments must never read as entries.
      if (line.rfind("#", 0) == 0 && line.size() > 1 && line[1] != '=') {
        EXPECT_EQ(line.rfind("# ", 0), 0u) << line;
      }
    }
    for (const RawEntry& entry : RawEntries(text)) {
      SCOPED_TRACE(entry.name);
      EXPECT_TRUE(names.insert(entry.name).second) << "duplicate entry";
      ASSERT_FALSE(entry.numbers.empty());
      for (const std::string& number : entry.numbers) {
        // 1 to 9 digits, never 0 and fitting a byte: nothing ends the list early.
        ASSERT_FALSE(number.empty());
        ASSERT_LE(number.size(), 9u);
        ASSERT_EQ(number.find_first_not_of("0123456789"), std::string::npos);
        const unsigned long value = std::stoul(number);
        EXPECT_GE(value, 1u);
        EXPECT_LE(value, 255u);
      }
      if (entry.name.size() > 1) {
        EXPECT_LE(entry.name.size(), 15u);
        for (char c : entry.name) EXPECT_FALSE(c >= 'a' && c <= 'z') << "key names are upper case";
      }
    }
  }
}

TEST(ShippedEmulators, EveryFileHasTheSameKeyNames) {
  const std::vector<std::string> required = {
      "ENTER", "TAB",  "ESC",  "BACKSPACE", "SPACE",   "F1",       "F2",      "F3",       "F4",
      "F5",    "F6",   "F7",   "F8",        "F9",      "F10",      "F11",     "F12",      "INSERT",
      "DELETE", "HOME", "END", "PGUP",      "PGDN",    "UP",       "DOWN",    "LEFT",     "RIGHT",
      "SHIFT", "CTRL", "ALT",  "ALTGR",     "CAPSLOCK", "NUMLOCK", "SCROLLLOCK", "KP0",   "KP1",
      "KP2",   "KP3",  "KP4",  "KP5",       "KP6",     "KP7",      "KP8",     "KP9",      "KPENTER",
      "KPPLUS", "KPMINUS", "KPMUL", "KPDIV", "KPDOT"};
  std::set<std::string> firstNames;
  for (const std::string& name : AllLayouts()) {
    SCOPED_TRACE(name);
    std::set<std::string> keyNames;
    for (const RawEntry& entry : RawEntries(ReadFile(EmuPath(name)))) {
      if (entry.name.size() > 1) keyNames.insert(entry.name);
    }
    for (const std::string& key : required) EXPECT_TRUE(keyNames.count(key)) << key;
    if (firstNames.empty()) firstNames = keyNames;
    EXPECT_EQ(keyNames, firstNames);
  }
  EXPECT_EQ(Numbers(EmuPath("English_US"), "UP"), (Codes{224, 117}));
  EXPECT_EQ(Numbers(EmuPath("German"), "DELETE"), (Codes{224, 113}));
  EXPECT_EQ(Numbers(EmuPath("French"), "KPDIV"), (Codes{224, 74}));
}

// Bytes of code page 1252 without a character.
bool UndefinedIn1252(int byte) { return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D; }

TEST(ShippedEmulators, EveryPrintableByteOfTheCodePageCanBeTyped) {
  for (const std::string& name : kLatinLayouts) {
    SCOPED_TRACE(name);
    EmulatorTable table(EmuPath(name));
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
      if (byte == 0x7F || UndefinedIn1252(byte)) continue;
      const char text[2] = {static_cast<char>(byte), 0};
      EXPECT_TRUE(table.FindName(text)) << "byte " << byte;
    }
  }
  for (const char* name : {"ASCII", "Israeli", "Arabic", "ANSI"}) {
    SCOPED_TRACE(name);
    EmulatorTable table(EmuPath(name));
    for (int byte = 0x20; byte < 0x7F; ++byte) {
      const char text[2] = {static_cast<char>(byte), 0};
      EXPECT_TRUE(table.FindName(text)) << "byte " << byte;
    }
  }
}

TranslationInput SampleInput(const std::string& layout, bool pcAtLink) {
  return {SourceDir() + "/samples/Kt90NewConfig.pos", EmuPath(layout), "120", pcAtLink};
}

TEST(ShippedEmulators, SampleTranslatesWithEveryLayoutAndLatinOnesGiveNibbleKeys) {
  for (const std::string& name : AllLayouts()) {
    SCOPED_TRACE(name);
    ImageBuilder builder;
    EXPECT_EQ(builder.Translate(SampleInput(name, false)), DownloadState::ImageReady)
        << "line " << builder.lineNumber();
  }
  for (const std::string& name : kLatinLayouts) {
    SCOPED_TRACE(name);
    ImageBuilder builder;
    ASSERT_EQ(builder.Translate(SampleInput(name, true)), DownloadState::ImageReady);
    // The nibble keys are sixteen different plain characters.
    const std::set<char> distinct(builder.nibbleKeys().begin(), builder.nibbleKeys().end());
    EXPECT_EQ(distinct.size(), 16u);
  }
  ImageBuilder us;
  ASSERT_EQ(us.Translate(SampleInput("English_US", true)), DownloadState::ImageReady);
  EXPECT_EQ(std::string(us.nibbleKeys().data(), 16), "ABCDEFGHIJKLMNOP");
  ImageBuilder french;
  ASSERT_EQ(french.Translate(SampleInput("French", true)), DownloadState::ImageReady);
  EXPECT_EQ(std::string(french.nibbleKeys().data(), 16), "QBCDEFGHIJKL,NOP");
}

TEST(ShippedEmulators, KnownStrokesOfTheLayouts) {
  const std::string german = EmuPath("German");
  EXPECT_EQ(Numbers(german, "z"), (Codes{53}));
  EXPECT_EQ(Numbers(german, "y"), (Codes{26}));
  EXPECT_EQ(Numbers(german, "@"), (Codes{224, 17, 21}));
  EXPECT_EQ(Numbers(german, "\xE9"), (Codes{85, 36}));          // é: dead acute, e
  EXPECT_EQ(Numbers(german, "^"), (Codes{14, 41}));              // dead circumflex, space

  const std::string french = EmuPath("French");
  EXPECT_EQ(Numbers(french, "a"), (Codes{21}));
  EXPECT_EQ(Numbers(french, "\xE9"), (Codes{30}));               // é
  EXPECT_EQ(Numbers(french, "\xEB"), (Codes{18, 84, 18, 36}));   // ë: Shift+dead diaeresis, e
  EXPECT_EQ(Numbers(french, "\xEA"), (Codes{84, 36}));           // ê: dead circumflex, e
  EXPECT_EQ(Numbers(french, "~"), (Codes{224, 17, 30, 224, 17, 41}));  // AltGr+2 is a dead key

  EXPECT_EQ(Numbers(EmuPath("English_US"), "A"), (Codes{18, 28}));
  EXPECT_EQ(Numbers(EmuPath("English_US"), "\xF1"), (Codes{17, 112, 114, 107, 105}));  // ñ as Alt+0241
  EXPECT_EQ(Numbers(EmuPath("Spanish"), "\xF1"), (Codes{76}));
  EXPECT_EQ(Numbers(EmuPath("Spanish"), "\xE3"), (Codes{224, 17, 37, 224, 17, 28}));  // ã: AltGr+4 dead tilde
  EXPECT_EQ(Numbers(EmuPath("English_UK"), "\xA3"), (Codes{18, 38}));                 // £
  EXPECT_EQ(Numbers(EmuPath("ASCII"), "a"), (Codes{17, 125, 108}));
  EXPECT_EQ(Numbers(EmuPath("ANSI"), "\xF1"), (Codes{17, 112, 114, 107, 105}));
  EXPECT_EQ(Numbers(EmuPath("Israeli"), "\xF9"), (Codes{28}));    // shin on the A key
  EXPECT_EQ(Numbers(EmuPath("Arabic"), "\xD4"), (Codes{28}));     // sheen on the A key

  // Layouts without dead keys never type a character in two strokes of keys.
  for (const char* name : {"English_US", "English_UK", "Italian", "Israeli", "Arabic"}) {
    SCOPED_TRACE(name);
    for (const RawEntry& entry : RawEntries(ReadFile(EmuPath(name)))) {
      if (entry.name.size() != 1 || entry.numbers.front() == "17") continue;
      int keys = 0;
      for (const std::string& n : entry.numbers) keys += (n != "18" && n != "224" && n != "17") ? 1 : 0;
      EXPECT_EQ(keys, 1) << entry.name;
    }
  }
}

}  // namespace
}  // namespace lumivane::test
