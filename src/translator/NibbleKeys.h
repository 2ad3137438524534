#pragma once
#include <array>
#include <string>

namespace lumivane {

class EmulatorTable;

// The characters that stand for the hexadecimal digits 0..15 on the PC/AT
// link: what the keys in the places of the letters A to P on a US keyboard
// type on the emulator's layout, upper-cased. All 16 are filled; an entry
// is 0 where that key types nothing on the layout.
std::array<char, 16> DeriveNibbleKeys(EmulatorTable& emulator);

// True when every nibble key types something on the layout (no entry is 0).
bool EveryNibbleKeyTypes(const std::array<char, 16>& nibbleKeys);

// Why a layout cannot serve the PC/AT link, from the nibble keys that
// DeriveNibbleKeys left 0: "the keys in the places of C, F on a US
// keyboard type nothing on this layout; ...".
std::string MissingNibbleKeysReason(const std::array<char, 16>& nibbleKeys);

}  // namespace lumivane
