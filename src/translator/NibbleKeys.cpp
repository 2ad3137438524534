#include "translator/NibbleKeys.h"

#include <algorithm>

#include "translator/EmulatorTable.h"

namespace lumivane {

namespace {

// Scan codes of the keys in the places of letters A to P on a US keyboard.
constexpr long kNibbleKeyCodes[16] = {28, 50, 33, 35, 36, 43, 52, 51,
                                      67, 59, 66, 75, 58, 49, 68, 77};

char UpperAscii(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

}  // namespace

std::array<char, 16> DeriveNibbleKeys(EmulatorTable& emulator) {
  std::array<char, 16> nibbleKeys{};
  for (std::size_t i = 0; i < 16; ++i) nibbleKeys[i] = UpperAscii(emulator.CharForCode(kNibbleKeyCodes[i]));
  return nibbleKeys;
}

bool EveryNibbleKeyTypes(const std::array<char, 16>& nibbleKeys) {
  return std::find(nibbleKeys.begin(), nibbleKeys.end(), '\0') == nibbleKeys.end();
}

std::string MissingNibbleKeysReason(const std::array<char, 16>& nibbleKeys) {
  std::string letters;
  for (std::size_t i = 0; i < nibbleKeys.size(); ++i) {
    if (nibbleKeys[i] != 0) continue;
    if (!letters.empty()) letters += ", ";
    letters += static_cast<char>('A' + i);
  }
  return "the keys in the places of " + letters +
         " on a US keyboard type nothing on this layout; the PC/AT link reads the keys A to P as "
         "hexadecimal digits";
}

}  // namespace lumivane
