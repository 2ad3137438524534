#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::sim {

// The simulated keypad's 64 KiB memory kept in a file between sessions, so
// that a download and a later read meet.

// A memory loaded from FILE, or why it cannot be used.
struct LoadedMemory {
  std::vector<std::uint8_t> bytes;  // empty when FILE does not exist: a fresh keypad
  std::string failure;              // "FILE: reason"; empty when it could be used
};

// Loads FILE; fails when it cannot be read or is not 65536 bytes.
LoadedMemory LoadMemoryFile(const std::string& path);

// Writes the memory whole or not at all: into a temporary file beside
// FILE, synced, then renamed over it. Returns why it failed; nothing when written.
std::optional<std::string> SaveMemoryFile(const std::string& path, const std::uint8_t* memory,
                                          std::size_t length);

}  // namespace lumivane::sim
