#pragma once
#include <cstdint>
#include <vector>

#include "sim/KeypadModel.h"

namespace lumivane::test {

// The image a simulated keypad holds where its download placed it, read
// from its memory with the key table back to image offsets: what a
// download's image must equal byte for byte. Empty when nothing was placed.
std::vector<std::uint8_t> HeldImage(const sim::KeypadModel& keypad, int tableSize);

}  // namespace lumivane::test
