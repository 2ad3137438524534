#pragma once
#include <span>
#include <string>

#include "EntryBuilder.h"

namespace emugen {

// The text of an emulator file: the comment lines (each written as "# " and
// the text, so none can be read as an entry), the single-character entries
// in the given order, an entry for the Tab character, then the key names.
std::string FormatEmulatorFile(std::span<const std::string> comments, std::span<const CharEntry> entries);

// "name=n,n,...".
std::string FormatEntryLine(const std::string& name, std::span<const unsigned> numbers);

}  // namespace emugen
