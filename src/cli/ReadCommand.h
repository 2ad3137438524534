#pragma once
#include <string>

#include "app/LaunchPaths.h"
#include "cli/KeypadSession.h"

namespace lumivane {

// Options of "lumivane-cli read": no source; the emulator gives the nibble
// keys of the PC/AT link, and the keys ("360": 360 keys; other: 120) are
// told from the image when not given.
struct CliReadOptions : CliKeypadOptions {
  CliReadOptions() { keys.clear(); }
  std::string output;
  bool listing = false;
  bool raw = false;  // keep the keypad's addresses in the key table
};

// Waits for shift+load as a download does, reads the layer, and writes
// its image to the output file, whole or not at all: the key table back
// as image offsets (as `translate --output` wrote it), or as the keypad
// holds it with --raw. Sends no write command and ends with the end
// command. Returns 0 after the file was written; 16 when the layer holds
// no image, or none with the key table --keys asks for (no file is
// written); 10 when the file cannot be written, 11
// when it is the emulator file; else the statuses of a download.
int RunReadCommand(const CliReadOptions& options, const LaunchPaths& paths);

// The key-table end a --keys value asks for: 1383 for "360", 463 for any
// other text, 0 (told from the image) when empty.
int ForcedTableEnd(const std::string& keys);

}  // namespace lumivane
