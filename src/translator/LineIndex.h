#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumivane {

// Maps a 32-bit key to the first line added under it: an open-addressing
// hash table in one flat array, so building it costs a few allocations, not
// one per line, and its size follows the distinct keys, not the lines.
// A key may stand for a longer one (a name's hash): `matches(line)` then
// tells whether a stored line really carries the wanted one.
class LineIndex {
 public:
  // Stores `line` under `key` unless a matching line is stored already:
  // the first line of a key stays.
  template <typename Matches>
  void Add(std::uint32_t key, int line, Matches&& matches) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Slot& slot = slots_[Probe(key, matches)];
    if (slot.line >= 0) return;
    slot = {key, line};
    ++used_;
  }

  // The line stored under `key` that matches, or -1.
  template <typename Matches>
  int Find(std::uint32_t key, Matches&& matches) const {
    return slots_.empty() ? -1 : slots_[Probe(key, matches)].line;
  }

  // Makes room for `keys` keys at once, sparing the growth steps.
  void Reserve(std::size_t keys) {
    std::size_t size = 16;
    while (size < 2 * keys) size *= 2;
    if (size > slots_.size()) Rehash(size);
  }

  void Clear() {
    slots_.clear();
    used_ = 0;
  }

  // FNV-1a: the key of a name.
  static std::uint32_t HashOf(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
  }

 private:
  struct Slot {
    std::uint32_t key = 0;
    int line = -1;  // -1: empty
  };

  // Spreads every bit of the key over the slot number.
  static std::uint32_t Mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x85ebca6bu;
    x ^= x >> 13;
    x *= 0xc2b2ae35u;
    return x ^ (x >> 16);
  }

  // The slot holding a matching line, or the empty slot where it would go
  // (the table is never full).
  template <typename Matches>
  std::size_t Probe(std::uint32_t key, Matches&& matches) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Mix(key) & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.line < 0 || (slot.key == key && matches(slot.line))) return i;
    }
  }

  // Doubles the table (at least 16 slots), keeping it at most half full.
  void Grow() { Rehash(slots_.empty() ? 16 : 2 * slots_.size()); }

  void Rehash(std::size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.line < 0) continue;
      std::size_t i = Mix(slot.key) & mask;
      while (slots_[i].line >= 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;  // a power of two in size
  std::size_t used_ = 0;
};

}  // namespace lumivane
