#pragma once
#include <string>

namespace lumivane {

// Options of "lumivane-cli download".
struct CliDownloadOptions {
  std::string source, emulator = "English_US", keys = "120", layer = "1", link, port;
};

// Translates the source and downloads the image into the keypad, printing
// every status line on its own line. Returns 0 after a successful download.
int RunDownloadCommand(const CliDownloadOptions& options, const std::string& programDirectory);

}  // namespace lumivane
