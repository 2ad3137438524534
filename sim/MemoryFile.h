#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::sim {

// The simulated keypad's 64 KiB memory kept in a file between sessions, so
// that a download and a later read meet.

// Loads FILE into *memory. True with an empty *memory when FILE does not
// exist; false with a reason when it cannot be read or is not 65536 bytes.
bool LoadMemoryFile(const std::string& path, std::vector<std::uint8_t>* memory, std::string* error);

// Writes the memory whole or not at all: into a temporary file beside
// FILE, synced, then renamed over it. False with a reason.
bool SaveMemoryFile(const std::string& path, const std::uint8_t* memory, std::size_t length,
                    std::string* error);

}  // namespace lumivane::sim
