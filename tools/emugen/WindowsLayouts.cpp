#include "WindowsLayouts.h"

#include <linux/input-event-codes.h>

namespace emugen {

namespace {

KeyFix Char(int evdev, Level level, char32_t c) { return {evdev, level, c, Accent::kNone}; }
KeyFix Dead(int evdev, Level level, Accent accent) { return {evdev, level, 0, accent}; }
KeyFix AltGr(int evdev, char32_t c) { return Char(evdev, kAltGr, c); }
KeyFix ShiftAltGr(int evdev, char32_t c) { return Char(evdev, kShiftAltGr, c); }
KeyFix DeadAltGr(int evdev, Accent accent) { return Dead(evdev, kAltGr, accent); }

// AltGr characters are listed only where the Windows layout certainly has
// them; a character left out is still typed, through its Alt code.

LayoutRecipe EnglishUs() {
  // The extra key of 102-key boards types \ and | on Windows, not < and >.
  return {"English_US", "US", "us", "", "CP1252", true,
          {Char(KEY_102ND, kPlain, U'\\'), Char(KEY_102ND, kShift, U'|')}};
}

LayoutRecipe EnglishUk() {
  return {"English_UK", "United Kingdom", "gb", "", "CP1252", true,
          {AltGr(KEY_GRAVE, U'¦'), AltGr(KEY_4, U'€'),
           AltGr(KEY_E, U'é'), ShiftAltGr(KEY_E, U'É'), AltGr(KEY_U, U'ú'), ShiftAltGr(KEY_U, U'Ú'),
           AltGr(KEY_I, U'í'), ShiftAltGr(KEY_I, U'Í'), AltGr(KEY_O, U'ó'), ShiftAltGr(KEY_O, U'Ó'),
           AltGr(KEY_A, U'á'), ShiftAltGr(KEY_A, U'Á')}};
}

LayoutRecipe French() {
  return {"French", "French", "fr", "", "CP1252", true,
          {Char(KEY_GRAVE, kShift, 0),
           Dead(KEY_LEFTBRACE, kPlain, Accent::kCircumflex), Dead(KEY_LEFTBRACE, kShift, Accent::kDiaeresis),
           DeadAltGr(KEY_2, Accent::kTilde), AltGr(KEY_3, U'#'), AltGr(KEY_4, U'{'), AltGr(KEY_5, U'['),
           AltGr(KEY_6, U'|'), DeadAltGr(KEY_7, Accent::kGrave), AltGr(KEY_8, U'\\'), AltGr(KEY_9, U'^'),
           AltGr(KEY_0, U'@'), AltGr(KEY_MINUS, U']'), AltGr(KEY_EQUAL, U'}'), AltGr(KEY_E, U'€'),
           AltGr(KEY_RIGHTBRACE, U'¤')}};
}

LayoutRecipe German() {
  return {"German", "German", "de", "", "CP1252", true,
          {Dead(KEY_GRAVE, kPlain, Accent::kCircumflex),
           Dead(KEY_EQUAL, kPlain, Accent::kAcute), Dead(KEY_EQUAL, kShift, Accent::kGrave),
           AltGr(KEY_2, U'²'), AltGr(KEY_3, U'³'), AltGr(KEY_7, U'{'), AltGr(KEY_8, U'['),
           AltGr(KEY_9, U']'), AltGr(KEY_0, U'}'), AltGr(KEY_MINUS, U'\\'), AltGr(KEY_Q, U'@'),
           AltGr(KEY_E, U'€'), AltGr(KEY_RIGHTBRACE, U'~'), AltGr(KEY_102ND, U'|'), AltGr(KEY_M, U'µ')}};
}

LayoutRecipe Belgian() {
  return {"Belgian", "Belgian French", "be", "", "CP1252", true,
          {Dead(KEY_LEFTBRACE, kPlain, Accent::kCircumflex), Dead(KEY_LEFTBRACE, kShift, Accent::kDiaeresis),
           AltGr(KEY_1, U'|'), AltGr(KEY_2, U'@'), AltGr(KEY_3, U'#'), AltGr(KEY_9, U'{'),
           AltGr(KEY_0, U'}'), AltGr(KEY_E, U'€'), AltGr(KEY_LEFTBRACE, U'['), AltGr(KEY_RIGHTBRACE, U']'),
           DeadAltGr(KEY_APOSTROPHE, Accent::kAcute), DeadAltGr(KEY_BACKSLASH, Accent::kGrave),
           AltGr(KEY_102ND, U'\\'), DeadAltGr(KEY_SLASH, Accent::kTilde)}};
}

LayoutRecipe Canadian() {
  // Windows "Canadian French" (the traditional layout, not the CSA
  // multilingual one), which is also xkb's default Canadian layout.
  return {"Canadian", "Canadian French", "ca", "", "CP1252", true,
          {Dead(KEY_LEFTBRACE, kPlain, Accent::kCircumflex), Dead(KEY_LEFTBRACE, kShift, Accent::kCircumflex),
           Dead(KEY_RIGHTBRACE, kPlain, Accent::kCedilla), Dead(KEY_RIGHTBRACE, kShift, Accent::kDiaeresis),
           Dead(KEY_APOSTROPHE, kPlain, Accent::kGrave), Dead(KEY_APOSTROPHE, kShift, Accent::kGrave),
           AltGr(KEY_GRAVE, U'\\'), AltGr(KEY_1, U'±'), AltGr(KEY_2, U'@'), AltGr(KEY_3, U'£'),
           AltGr(KEY_4, U'¢'), AltGr(KEY_5, U'¤'), AltGr(KEY_6, U'¬'), AltGr(KEY_7, U'¦'),
           AltGr(KEY_8, U'²'), AltGr(KEY_9, U'³'), AltGr(KEY_0, U'¼'), AltGr(KEY_MINUS, U'½'),
           AltGr(KEY_EQUAL, U'¾'), AltGr(KEY_O, U'§'), AltGr(KEY_P, U'¶'), AltGr(KEY_LEFTBRACE, U'['),
           AltGr(KEY_RIGHTBRACE, U']'), AltGr(KEY_SEMICOLON, U'~'), AltGr(KEY_APOSTROPHE, U'{'),
           AltGr(KEY_BACKSLASH, U'}'), AltGr(KEY_102ND, U'°'), AltGr(KEY_M, U'µ'),
           DeadAltGr(KEY_SLASH, Accent::kAcute)}};
}

// Danish, Norwegian and Swedish share the number row's AltGr characters and
// the dead keys right of the top letter row.
std::vector<KeyFix> NordicFixes() {
  return {Dead(KEY_RIGHTBRACE, kPlain, Accent::kDiaeresis), Dead(KEY_RIGHTBRACE, kShift, Accent::kCircumflex),
          DeadAltGr(KEY_RIGHTBRACE, Accent::kTilde),
          AltGr(KEY_2, U'@'), AltGr(KEY_3, U'£'), AltGr(KEY_4, U'$'), AltGr(KEY_5, U'€'),
          AltGr(KEY_7, U'{'), AltGr(KEY_8, U'['), AltGr(KEY_9, U']'), AltGr(KEY_0, U'}'),
          AltGr(KEY_E, U'€'), AltGr(KEY_M, U'µ')};
}

LayoutRecipe Danish() {
  LayoutRecipe recipe{"Danish", "Danish", "dk", "", "CP1252", true, NordicFixes()};
  recipe.fixes.insert(recipe.fixes.end(),
                      {Dead(KEY_EQUAL, kPlain, Accent::kAcute), Dead(KEY_EQUAL, kShift, Accent::kGrave),
                       AltGr(KEY_EQUAL, U'|'), AltGr(KEY_102ND, U'\\')});
  return recipe;
}

LayoutRecipe Norwegian() {
  LayoutRecipe recipe{"Norwegian", "Norwegian", "no", "", "CP1252", true, NordicFixes()};
  recipe.fixes.insert(recipe.fixes.end(),
                      {Dead(KEY_EQUAL, kShift, Accent::kGrave), DeadAltGr(KEY_EQUAL, Accent::kAcute)});
  return recipe;
}

LayoutRecipe Swedish() {
  LayoutRecipe recipe{"Swedish", "Swedish", "se", "", "CP1252", true, NordicFixes()};
  recipe.fixes.insert(recipe.fixes.end(),
                      {Dead(KEY_EQUAL, kPlain, Accent::kAcute), Dead(KEY_EQUAL, kShift, Accent::kGrave),
                       AltGr(KEY_MINUS, U'\\'), AltGr(KEY_102ND, U'|')});
  return recipe;
}

LayoutRecipe Dutch() {
  return {"Dutch", "Dutch", "nl", "", "CP1252", true,
          {Dead(KEY_EQUAL, kShift, Accent::kTilde), DeadAltGr(KEY_EQUAL, Accent::kCedilla),
           Dead(KEY_LEFTBRACE, kPlain, Accent::kDiaeresis), Dead(KEY_LEFTBRACE, kShift, Accent::kCircumflex),
           Dead(KEY_APOSTROPHE, kPlain, Accent::kAcute), Dead(KEY_APOSTROPHE, kShift, Accent::kGrave),
           AltGr(KEY_GRAVE, U'¬'), AltGr(KEY_1, U'¹'), AltGr(KEY_2, U'²'), AltGr(KEY_3, U'³'),
           AltGr(KEY_4, U'¼'), AltGr(KEY_5, U'½'), AltGr(KEY_6, U'¾'), AltGr(KEY_7, U'£'),
           AltGr(KEY_8, U'{'), AltGr(KEY_9, U'}'), AltGr(KEY_MINUS, U'\\'), AltGr(KEY_E, U'€'),
           AltGr(KEY_S, U'ß'), AltGr(KEY_C, U'¢'), AltGr(KEY_M, U'µ')}};
}

LayoutRecipe Italian() {
  return {"Italian", "Italian", "it", "", "CP1252", true,
          {AltGr(KEY_E, U'€'), AltGr(KEY_LEFTBRACE, U'['), ShiftAltGr(KEY_LEFTBRACE, U'{'),
           AltGr(KEY_RIGHTBRACE, U']'), ShiftAltGr(KEY_RIGHTBRACE, U'}'), AltGr(KEY_SEMICOLON, U'@'),
           AltGr(KEY_APOSTROPHE, U'#')}};
}

LayoutRecipe LatinAmerican() {
  return {"LatinAmeric", "Latin American", "latam", "", "CP1252", true,
          {Dead(KEY_LEFTBRACE, kPlain, Accent::kAcute), Dead(KEY_LEFTBRACE, kShift, Accent::kDiaeresis),
           AltGr(KEY_GRAVE, U'¬'), AltGr(KEY_Q, U'@'), AltGr(KEY_MINUS, U'\\'),
           AltGr(KEY_RIGHTBRACE, U'~')}};
}

LayoutRecipe Portuguese() {
  return {"Portuguese", "Portuguese", "pt", "", "CP1252", true,
          {Dead(KEY_RIGHTBRACE, kPlain, Accent::kAcute), Dead(KEY_RIGHTBRACE, kShift, Accent::kGrave),
           Dead(KEY_BACKSLASH, kPlain, Accent::kTilde), Dead(KEY_BACKSLASH, kShift, Accent::kCircumflex),
           AltGr(KEY_2, U'@'), AltGr(KEY_3, U'£'), AltGr(KEY_4, U'§'), AltGr(KEY_7, U'{'),
           AltGr(KEY_8, U'['), AltGr(KEY_9, U']'), AltGr(KEY_0, U'}'), AltGr(KEY_E, U'€'),
           DeadAltGr(KEY_LEFTBRACE, Accent::kDiaeresis)}};
}

LayoutRecipe Spanish() {
  return {"Spanish", "Spanish", "es", "", "CP1252", true,
          {Dead(KEY_LEFTBRACE, kPlain, Accent::kGrave), Dead(KEY_LEFTBRACE, kShift, Accent::kCircumflex),
           Dead(KEY_APOSTROPHE, kPlain, Accent::kAcute), Dead(KEY_APOSTROPHE, kShift, Accent::kDiaeresis),
           AltGr(KEY_GRAVE, U'\\'), AltGr(KEY_1, U'|'), AltGr(KEY_2, U'@'), AltGr(KEY_3, U'#'),
           DeadAltGr(KEY_4, Accent::kTilde), AltGr(KEY_6, U'¬'), AltGr(KEY_E, U'€'),
           AltGr(KEY_LEFTBRACE, U'['), AltGr(KEY_RIGHTBRACE, U']'), AltGr(KEY_APOSTROPHE, U'{'),
           AltGr(KEY_BACKSLASH, U'}')}};
}

LayoutRecipe Swiss() {
  return {"Swiss", "Swiss German", "ch", "", "CP1252", true,
          {Dead(KEY_EQUAL, kPlain, Accent::kCircumflex), Dead(KEY_EQUAL, kShift, Accent::kGrave),
           Dead(KEY_RIGHTBRACE, kPlain, Accent::kDiaeresis),
           AltGr(KEY_1, U'¦'), AltGr(KEY_2, U'@'), AltGr(KEY_3, U'#'), AltGr(KEY_6, U'¬'),
           AltGr(KEY_7, U'|'), AltGr(KEY_8, U'¢'), DeadAltGr(KEY_MINUS, Accent::kAcute),
           DeadAltGr(KEY_EQUAL, Accent::kTilde), AltGr(KEY_E, U'€'), AltGr(KEY_LEFTBRACE, U'['),
           AltGr(KEY_RIGHTBRACE, U']'), AltGr(KEY_APOSTROPHE, U'{'), AltGr(KEY_BACKSLASH, U'}'),
           AltGr(KEY_102ND, U'\\')}};
}

LayoutRecipe Israeli() {
  // The Windows Hebrew layout has the same mirrored brackets and parentheses
  // as xkb's; its extra key types \ and |.
  return {"Israeli", "Hebrew", "il", "", "CP1255", false,
          {Char(KEY_102ND, kPlain, U'\\'), Char(KEY_102ND, kShift, U'|')}};
}

LayoutRecipe Arabic() {
  // Windows "Arabic (101)": the quotation marks on U and M, \ and | on the
  // key left of Enter; the extra key is left out.
  return {"Arabic", "Arabic (101)", "ara", "", "CP1256", false,
          {Char(KEY_U, kShift, U'‘'), Char(KEY_M, kShift, U'’'), Char(KEY_BACKSLASH, kShift, U'|'),
           Char(KEY_102ND, kPlain, 0), Char(KEY_102ND, kShift, 0)}};
}

}  // namespace

std::vector<LayoutRecipe> WindowsLayoutRecipes() {
  return {EnglishUs(), EnglishUk(), French(),  German(),        Belgian(),    Canadian(),
          Danish(),    Dutch(),     Israeli(), Italian(),       LatinAmerican(), Norwegian(),
          Portuguese(), Spanish(),  Swedish(), Swiss(),         Arabic()};
}

}  // namespace emugen
