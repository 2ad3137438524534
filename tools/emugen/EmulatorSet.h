#pragma once
#include <string>
#include <vector>

#include "CodePage.h"
#include "EntryBuilder.h"
#include "WindowsLayouts.h"
#include "XkbLayoutReader.h"

namespace emugen {

struct EmulatorFile {
  std::string name;  // base name, written as <name>.emu
  std::string text;
  std::vector<std::string> notes;
};

struct LayoutFileResult {
  EmulatorFile file;
  std::vector<CharEntry> entries;
  std::vector<std::string> errors;
};

// One layout's file from its xkb reading. Fails (errors not empty) when a dead
// key is unconfirmed or, for a Latin layout, a nibble key is not a plain letter.
LayoutFileResult MakeLayoutFile(const LayoutRecipe& recipe, const LayoutKeys& xkb, const CodePage& codePage,
                                const std::string& xkbVersion);

// Problems with the nibble keys: for each nibble code the first entry that
// starts with it must exist and be the plain character of that key.
std::vector<std::string> CheckNibbleKeys(const std::vector<CharEntry>& entries);

struct GenerationResult {
  std::vector<EmulatorFile> files;
  std::vector<std::string> errors;
};

// Every emulator file of the emulator list: the xkb-based layouts, ASCII,
// ANSI and Custom.
GenerationResult GenerateAll(const std::string& xkbVersion);

}  // namespace emugen
