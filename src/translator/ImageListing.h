#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumivane {

// A readable decode of a download image: the header delay, every defined key
// with its offset, and each key's data (emulator codes, DELAY n, OUT runs,
// repeat marks, WAITACK n, REPORT n). Codes ahead of the first key are listed
// too. Key entries are taken relative to entryBase, so an image relocated to
// a keypad address decodes as well. Reads nothing at or past `length`.
std::string FormatImageListing(const std::uint8_t* image, std::size_t length, int tableSize,
                               std::uint16_t entryBase = 0);

}  // namespace lumivane
