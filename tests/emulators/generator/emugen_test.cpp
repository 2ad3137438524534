// The generator's mapping from a keymap to entries, on small made-up layouts.
#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <string>
#include <vector>

#include "CodePage.h"
#include "EmuWriter.h"
#include "EmulatorSet.h"
#include "EntryBuilder.h"
#include "WindowsKeymap.h"

namespace emugen {
namespace {

using Codes = std::vector<unsigned>;

CodePage Latin1() {
  std::array<char32_t, 256> chars{};
  for (int b = 0x20; b < 0x7F; ++b) chars[b] = static_cast<char32_t>(b);
  for (int b = 0xA0; b < 0x100; ++b) chars[b] = static_cast<char32_t>(b);
  return CodePage(chars);
}

const CharEntry* Find(const std::vector<CharEntry>& entries, char32_t c) {
  for (const CharEntry& entry : entries) {
    if (entry.byte == c) return &entry;
  }
  return nullptr;
}

Codes NumbersOf(const std::vector<CharEntry>& entries, char32_t c) {
  const CharEntry* entry = Find(entries, c);
  return entry ? entry->numbers : Codes{};
}

size_t IndexOf(const std::vector<CharEntry>& entries, char32_t c) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].byte == c) return i;
  }
  return entries.size();
}

TEST(StrokeEncoding, ModifiersToggleOnlyWhenTheyChange) {
  const Stroke plain{28, false, false}, shifted{28, true, false}, altGr{21, false, true},
      both{36, true, true}, space{41, false, false};
  EXPECT_EQ(EncodeStrokes(std::vector{plain}), (Codes{28}));
  EXPECT_EQ(EncodeStrokes(std::vector{shifted}), (Codes{18, 28}));
  EXPECT_EQ(EncodeStrokes(std::vector{altGr}), (Codes{224, 17, 21}));
  EXPECT_EQ(EncodeStrokes(std::vector{both}), (Codes{18, 224, 17, 36}));
  // Shifted dead key then a plain letter: Shift released in between.
  EXPECT_EQ(EncodeStrokes(std::vector{Stroke{84, true, false}, Stroke{36, false, false}}), (Codes{18, 84, 18, 36}));
  // Shift held over both strokes is pressed once.
  EXPECT_EQ(EncodeStrokes(std::vector{Stroke{84, true, false}, shifted}), (Codes{18, 84, 28}));
  // AltGr dead key then a shifted letter: AltGr released before Shift goes down.
  EXPECT_EQ(EncodeStrokes(std::vector{Stroke{30, false, true}, shifted}), (Codes{224, 17, 30, 224, 17, 18, 28}));
  EXPECT_EQ(EncodeStrokes(std::vector{both, space}), (Codes{18, 224, 17, 36, 224, 17, 18, 41}));
}

TEST(StrokeEncoding, AltCodesUseKeypadDigits) {
  EXPECT_EQ(AltCodeNumbers(97, false), (Codes{17, 125, 108}));
  EXPECT_EQ(AltCodeNumbers(241, true), (Codes{17, 112, 114, 107, 105}));
  EXPECT_EQ(AltCodeNumbers(32, false), (Codes{17, 122, 114}));
  EXPECT_EQ(AltCodeNumbers(128, true), (Codes{17, 112, 105, 114, 117}));
}

// A small layout: a, b, q keys; Shift gives capitals; AltGr+Q is @; the key
// left of Enter is a dead circumflex (Shift: dead diaeresis).
WindowsKeymap SmallKeymap() {
  WindowsKeymap keys;
  keys[KEY_A] = {WindowsSymbol{U'a'}, WindowsSymbol{U'A'}, {}, {}};
  keys[KEY_E] = {WindowsSymbol{U'e'}, WindowsSymbol{U'E'}, {}, {}};
  keys[KEY_Q] = {WindowsSymbol{U'q'}, WindowsSymbol{U'Q'}, WindowsSymbol{U'@'}, {}};
  keys[KEY_BACKSLASH] = {WindowsSymbol{0, Accent::kCircumflex}, WindowsSymbol{0, Accent::kDiaeresis}, {}, {}};
  keys[KEY_SPACE] = {WindowsSymbol{U' '}, {}, {}, {}};
  return keys;
}

TEST(LayoutEntries, SimplestStrokeFirstThenDeadKeysThenAltCodes) {
  const std::vector<CharEntry> entries = BuildLayoutEntries(SmallKeymap(), Latin1());
  EXPECT_EQ(NumbersOf(entries, U'a'), (Codes{28}));
  EXPECT_EQ(NumbersOf(entries, U'A'), (Codes{18, 28}));
  EXPECT_EQ(NumbersOf(entries, U'@'), (Codes{224, 17, 21}));
  EXPECT_EQ(NumbersOf(entries, U'â'), (Codes{93, 28}));
  EXPECT_EQ(NumbersOf(entries, U'Ê'), (Codes{93, 18, 36}));
  EXPECT_EQ(NumbersOf(entries, U'ë'), (Codes{18, 93, 18, 36}));
  EXPECT_EQ(NumbersOf(entries, U'^'), (Codes{93, 41}));
  EXPECT_EQ(NumbersOf(entries, U'¨'), (Codes{18, 93, 18, 41}));
  // Not on the layout, not composable from its letters: Alt codes.
  EXPECT_EQ(NumbersOf(entries, U'î'), (Codes{17, 112, 114, 122, 117}));
  EXPECT_EQ(NumbersOf(entries, U'z'), (Codes{17, 112, 105, 114, 114}));

  // All plain characters come before the shifted ones, those before AltGr,
  // dead-key characters after them and Alt codes last.
  EXPECT_LT(IndexOf(entries, U' '), IndexOf(entries, U'A'));
  EXPECT_LT(IndexOf(entries, U'Q'), IndexOf(entries, U'@'));
  EXPECT_LT(IndexOf(entries, U'@'), IndexOf(entries, U'â'));
  EXPECT_LT(IndexOf(entries, U'ë'), IndexOf(entries, U'^'));
  EXPECT_LT(IndexOf(entries, U'^'), IndexOf(entries, U'z'));

  // Each printable byte exactly once.
  std::array<int, 256> seen{};
  for (const CharEntry& entry : entries) ++seen[entry.byte];
  for (int b = 0; b < 256; ++b) EXPECT_EQ(seen[b], Latin1().IsPrintable(static_cast<uint8_t>(b)) ? 1 : 0) << b;
}

TEST(LayoutEntries, ACharacterOnTwoKeysTakesThePlainOne) {
  WindowsKeymap keys = SmallKeymap();
  keys[KEY_B] = {WindowsSymbol{U'b'}, WindowsSymbol{U'a'}, {}, {}};   // Shift+B also gives a
  keys[KEY_Z] = {WindowsSymbol{U'z'}, {}, WindowsSymbol{U'â'}, {}};   // AltGr+Z beats the dead key
  const std::vector<CharEntry> entries = BuildLayoutEntries(keys, Latin1());
  EXPECT_EQ(NumbersOf(entries, U'a'), (Codes{28}));
  EXPECT_EQ(NumbersOf(entries, U'â'), (Codes{224, 17, 26}));
}

TEST(LayoutEntries, NibbleCheckWantsThePlainCharacterFirst) {
  WindowsKeymap keys;
  const int nibbleKeys[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H,
                            KEY_I, KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P};
  for (int i = 0; i < 16; ++i) keys[nibbleKeys[i]] = {WindowsSymbol{static_cast<char32_t>(U'a' + i)}, {}, {}, {}};
  EXPECT_TRUE(CheckNibbleKeys(BuildLayoutEntries(keys, Latin1())).empty());

  // P as a dead key: its code would first appear in a dead-key entry.
  keys[KEY_P] = {WindowsSymbol{0, Accent::kGrave}, {}, {}, {}};
  EXPECT_EQ(CheckNibbleKeys(BuildLayoutEntries(keys, Latin1())).size(), 1u);
  // P typing nothing at all.
  keys[KEY_P] = {};
  EXPECT_EQ(CheckNibbleKeys(BuildLayoutEntries(keys, Latin1())).size(), 1u);
}

TEST(WindowsCorrections, AltGrOnlyWhereListedAndDeadKeysMustBeConfirmed) {
  LayoutKeys xkb;
  xkb[KEY_Q] = {KeySymbol{U'q'}, KeySymbol{U'Q'}, KeySymbol{U'@'}, KeySymbol{U'Ω'}};
  xkb[KEY_E] = {KeySymbol{U'e'}, KeySymbol{U'E'}, KeySymbol{U'€'}, KeySymbol{U'¢'}};
  xkb[KEY_GRAVE] = {KeySymbol{0, 0xfe52}, KeySymbol{U'°'}, {}, {}};
  xkb[KEY_2] = {KeySymbol{U'é'}, KeySymbol{U'2'}, KeySymbol{U'~'}, {}};

  const std::vector<KeyFix> fixes = {{KEY_E, kAltGr, U'€', Accent::kNone},
                                     {KEY_GRAVE, kPlain, 0, Accent::kCircumflex},
                                     {KEY_2, kAltGr, 0, Accent::kTilde},
                                     {KEY_GRAVE, kShift, 0, Accent::kNone}};
  const KeymapResult result = BuildWindowsKeymap(xkb, fixes);
  EXPECT_TRUE(result.errors.empty());
  EXPECT_EQ(result.keys.at(KEY_Q)[kAltGr].character, 0u);  // xkb's @ is not listed
  EXPECT_EQ(result.keys.at(KEY_E)[kAltGr].character, U'€');
  EXPECT_EQ(result.keys.at(KEY_E)[kShiftAltGr].character, 0u);
  EXPECT_EQ(result.keys.at(KEY_GRAVE)[kPlain].dead, Accent::kCircumflex);
  EXPECT_EQ(result.keys.at(KEY_GRAVE)[kShift].character, 0u);  // removed by a fix
  EXPECT_EQ(result.keys.at(KEY_2)[kAltGr].dead, Accent::kTilde);
  EXPECT_EQ(result.keys.at(KEY_2)[kPlain].character, U'é');
  EXPECT_EQ(result.notes.size(), 2u);  // the removed ° and the tilde made dead

  // Without the confirming fix the xkb dead key is an error, not a guess.
  const KeymapResult unconfirmed = BuildWindowsKeymap(xkb, std::vector<KeyFix>{});
  EXPECT_EQ(unconfirmed.errors.size(), 1u);
  EXPECT_EQ(unconfirmed.keys.at(KEY_GRAVE)[kPlain].dead, Accent::kNone);
}

TEST(CodePages, BytesDecodeOneAtATime) {
  const std::optional<CodePage> hebrew = CodePage::FromIconv("CP1255");
  ASSERT_TRUE(hebrew.has_value());
  EXPECT_EQ(hebrew->CharOf(0xE0), U'א');
  EXPECT_EQ(hebrew->ByteOf(U'ש'), 0xF9);
  EXPECT_EQ(hebrew->ByteOf(U'₪'), 0xA4);
  EXPECT_FALSE(hebrew->IsPrintable(0xFF));  // undefined
  const std::optional<CodePage> western = CodePage::FromIconv("CP1252");
  ASSERT_TRUE(western.has_value());
  EXPECT_EQ(western->ByteOf(U'€'), 0x80);
  EXPECT_FALSE(western->IsPrintable(0x81));
  EXPECT_FALSE(western->IsPrintable(0x0A));
  EXPECT_TRUE(western->IsPrintable(0xA0));
  EXPECT_EQ(western->ByteOf(U'ש'), -1);
  EXPECT_FALSE(CodePage::FromIconv("NO-SUCH-CODE-PAGE").has_value());
}

TEST(FileText, CommentsNeverReadAsEntriesAndKeyNamesFollowCharacters) {
  const std::vector<std::string> comments = {"=looks like an entry", "x"};
  const std::vector<CharEntry> entries = {{'#', {18, 38}}, {'=', {85}}};
  const std::string text = FormatEmulatorFile(comments, entries);
  EXPECT_EQ(text.rfind("# =looks like an entry\n# x\n#=18,38\n==85\n\t=13\nENTER=90\n", 0), 0u);
  EXPECT_NE(text.find("\nUP=224,117\n"), std::string::npos);
  EXPECT_NE(text.find("\nKPDIV=224,74\n"), std::string::npos);
}

}  // namespace
}  // namespace emugen
