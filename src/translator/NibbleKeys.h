#pragma once
#include <array>

namespace lumivane {

class EmulatorTable;

// The characters that stand for the hexadecimal digits 0..15 on the PC/AT
// link: what the keys in the places of the letters A to P on a US keyboard
// type on the emulator's layout, upper-cased. All 16 are filled; false
// when one of those keys types nothing on the layout (its entry is then 0).
bool DeriveNibbleKeys(EmulatorTable& emulator, std::array<char, 16>* nibbleKeys);

}  // namespace lumivane
