#include "link/StoredImage.h"

#include "translator/ImageCodes.h"

namespace lumivane {

namespace {

std::uint16_t EntryAt(const std::uint8_t* bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Table entries are the byte pairs from byte 3 up to the table's end.
constexpr std::size_t kFirstEntry = 3;

std::vector<std::uint8_t> MapEntries(const std::uint8_t* bytes, std::size_t length, int tableEnd,
                                     std::uint16_t base, bool toAddresses) {
  std::vector<std::uint8_t> out(bytes, bytes + length);
  for (std::size_t at = kFirstEntry; at + 1 < length && at + 1 < static_cast<std::size_t>(tableEnd);
       at += 2) {
    std::uint16_t entry = 0;
    if (bytes[at] != 0) {
      entry = static_cast<std::uint16_t>(toAddresses ? EntryAt(bytes, at) + base : EntryAt(bytes, at) - base);
    } else if (!toAddresses) {
      entry = EntryAt(bytes, at);  // read back as the keypad holds it
    }
    out[at] = static_cast<std::uint8_t>(entry >> 8);
    out[at + 1] = static_cast<std::uint8_t>(entry & 0xFF);
  }
  return out;
}

// Whether every defined entry points just past an end mark, as the
// translator places each key's data.
bool EntriesFollowEndMarks(const std::uint8_t* stored, std::size_t length, int tableEnd,
                           std::uint16_t base) {
  for (std::size_t at = kFirstEntry; at + 1 < static_cast<std::size_t>(tableEnd); at += 2) {
    if (stored[at] == 0) continue;
    const std::uint16_t offset = static_cast<std::uint16_t>(EntryAt(stored, at) - base);
    if (offset == 0 || offset > length || stored[offset - 1] != kCodeEndOfKey) return false;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> RelocateImage(const std::uint8_t* image, std::size_t length, int tableEnd,
                                        std::uint16_t base) {
  return MapEntries(image, length, tableEnd, base, true);
}

std::vector<std::uint8_t> RestoreImageOffsets(const std::uint8_t* stored, std::size_t length,
                                              int tableEnd, std::uint16_t base) {
  return MapEntries(stored, length, tableEnd, base, false);
}

bool CouldHoldKeyTable(const std::uint8_t* stored, std::size_t available, std::size_t length,
                       int tableEnd, std::uint16_t base) {
  const std::size_t end = static_cast<std::size_t>(tableEnd);
  if (length < end + 1) return false;
  // A key's data starts after the table and its end mark, and at the
  // latest on the image's last byte (a key without codes).
  for (std::size_t at = kFirstEntry; at + 1 < end && at + 1 < available; at += 2) {
    if (stored[at] == 0) continue;
    const std::uint16_t offset = static_cast<std::uint16_t>(EntryAt(stored, at) - base);
    if (offset < end + 1 || offset > length - 1) return false;
  }
  return true;
}

KeyTableRecognition RecogniseKeyTable(const std::uint8_t* stored, std::size_t length,
                                      std::uint16_t base, int tableEnd) {
  KeyTableRecognition best;
  int bestScore = 0;
  for (const int candidate : {kKeyTableEnd120, kKeyTableEnd360}) {
    if (tableEnd != 0 && candidate != tableEnd) continue;
    if (length == 0 || stored[length - 1] != kCodeEndOfKey) continue;
    if (!CouldHoldKeyTable(stored, length, length, candidate, base)) continue;
    const int score = EntriesFollowEndMarks(stored, length, candidate, base) ? 2 : 1;
    // The larger table wins a tie: it comes later in the loop.
    if (score >= bestScore) {
      bestScore = score;
      best = {true, candidate};
    }
  }
  if (!best.recognised && tableEnd != 0) best.tableEnd = tableEnd;
  return best;
}

}  // namespace lumivane
