#pragma once
#include <cstdint>

namespace lumivane {

// Why a keyboard layout (<Name>.emu) cannot serve a translation: a load
// failure of the EmulatorTable, or, found by the ImageBuilder, a nibble key
// the PC/AT link needs that the layout lacks.
enum class EmulatorFailure : std::uint8_t {
  None,
  CannotOpen,        // missing, unreadable, or not a regular file
  CannotMap,         // empty, or the system refused to map it
  TooShort,          // fewer bytes than any layout holds
  NoMemory,          // its entries could not be indexed
  TooLarge,          // above EmulatorTable::kMaximumFileSize
  NibbleKeyMissing,  // a letter of the PC/AT link's nibble keys has no entry
};

}  // namespace lumivane
