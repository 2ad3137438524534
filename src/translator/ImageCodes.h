#pragma once
#include <cstdint>

namespace lumivane {

// Instruction bytes in the data area of a download image. Any other byte in
// a key's data is an emulator code, copied as it is.
inline constexpr std::uint8_t kCodeEndOfKey = 0xFF;     // ahead of each key's data; ends the image
inline constexpr std::uint8_t kCodeDelay = 0xFE;        // + 2 bytes, high first
inline constexpr std::uint8_t kCodeOut = 0xFC;          // + one byte per port, then 0x00
inline constexpr std::uint8_t kCodeRepeatBegin = 0xFB;
inline constexpr std::uint8_t kCodeRepeatEnd = 0xFA;
inline constexpr std::uint8_t kCodeWaitAck = 0xF9;      // + 2 bytes, high first
inline constexpr std::uint8_t kCodeReport = 0xF8;       // + 2 bytes, high first

}  // namespace lumivane
