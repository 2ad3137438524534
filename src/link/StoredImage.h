#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumivane {

// A download image as the keypad stores it. The translator's key table
// holds image offsets; the keypad needs addresses, so every defined entry
// is stored as offset + placement base (the address of image byte 0). The
// table ends where the data area begins: after 230 entries (120 keys) or
// 690 entries (360 keys).
inline constexpr int kKeyTableEnd120 = 463;
inline constexpr int kKeyTableEnd360 = 1383;

// The bytes the keypad receives for an image placed at `base`: an entry
// whose high byte is not 0 becomes entry + base (modulo 65536); an entry
// whose high byte is 0 marks a key without data and goes out as 0x0000,
// whatever its low byte. The header and the data area stay as they are.
std::vector<std::uint8_t> RelocateImage(const std::uint8_t* image, std::size_t length, int tableEnd,
                                        std::uint16_t base);

// The inverse, for an image read from the keypad: an entry whose high byte
// is not 0 becomes entry - base; the others stay as they are (0x0000 for a
// key without data). An image relocated and restored is the translator's.
std::vector<std::uint8_t> RestoreImageOffsets(const std::uint8_t* stored, std::size_t length,
                                              int tableEnd, std::uint16_t base);

// Whether the first `available` bytes of a stored image `length` bytes
// long can begin an image whose key table ends at tableEnd: the image is
// long enough for the table and an end mark, and each entry among those
// bytes marks a key without data or points into the data area.
bool CouldHoldKeyTable(const std::uint8_t* stored, std::size_t available, std::size_t length,
                       int tableEnd, std::uint16_t base);

// Where the key table of a stored image ends, told from the image alone.
// An image is recognised when its last byte is the end mark and its key
// table fits (CouldHoldKeyTable); where both sizes fit, the one whose
// every entry follows an end mark wins, and then the larger one (a
// 120-key image would need 920 bytes of leading codes that read as a
// key table). tableEnd 0: either size; else only that one is tried.
struct KeyTableRecognition {
  bool recognised = false;
  int tableEnd = kKeyTableEnd120;  // the recognised size; 463 when none fits
};
KeyTableRecognition RecogniseKeyTable(const std::uint8_t* stored, std::size_t length,
                                      std::uint16_t base, int tableEnd = 0);

}  // namespace lumivane
