#pragma once
#include <cstdint>

// What the keypad is recognised by and the addresses and codes it answers
// to, in one place for every link. (The simulator keeps its own copy on
// purpose, so that it checks the program instead of agreeing with it.)
namespace lumivane::keypad {

// Control area: 16-bit pointers stored high byte first.
inline constexpr std::uint16_t kLayer1Start = 0xFF63;
inline constexpr std::uint16_t kLayer1End = 0xFF65;
inline constexpr std::uint16_t kLayer2Start = 0xFF67;
inline constexpr std::uint16_t kLayer2End = 0xFF69;
inline constexpr std::uint16_t kVersion = 0xFF6B;  // two bytes

// Probe windows, compared pairwise to tell where layer 1 starts: a keypad
// whose two windows hold the same bytes mirrors its lower memory above
// 0x6000, so its layer 1 starts at kMirroredLayer1Start.
inline constexpr std::uint16_t kProbeLow = 0x5FF1;
inline constexpr std::uint16_t kProbeHigh = 0x7FF1;
inline constexpr int kProbeLength = 5;
inline constexpr std::uint16_t kPlainLayer1Start = 0x0001;
inline constexpr std::uint16_t kMirroredLayer1Start = 0x6001;

// Command block opcodes (byte 5); the end command is six zero bytes.
inline constexpr std::uint8_t kReadOpcode = 0x0E;
inline constexpr std::uint8_t kWriteOpcode = 0xFD;

// Identity: RS232 sends and expects the first byte; USB sends the eight
// bytes 0xB0..0xB7 and expects 0xC0..0xC7 in data bytes 1..8.
inline constexpr std::uint8_t kIdentityRequest = 0xB0;
inline constexpr std::uint8_t kIdentityAnswer = 0xC0;
// Data byte 1 of a fetched report while the keypad waits for shift+load.
inline constexpr std::uint8_t kNotReady = 0xA0;
inline constexpr std::uint8_t kNotReadyEmpty = 0x00;

// The keypad's HID interface.
inline constexpr std::uint16_t kProductId = 0x3A2A;
inline constexpr std::uint16_t kReleaseNumber = 0x5A4A;
inline constexpr std::uint16_t kVendorUsagePage = 0xFF00;
// Compared with its terminating zero, so the device's string must end right after it.
inline constexpr char kManufacturer[] = "Zoret";

}  // namespace lumivane::keypad
