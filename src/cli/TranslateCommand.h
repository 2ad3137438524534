#pragma once
#include <string>

#include "app/LaunchPaths.h"

namespace lumivane {

// Options of "lumivane-cli translate".
struct CliTranslateOptions {
  std::string source;
  std::string emulator = "English_US";
  std::string keys = "120";
  std::string link;    // "usb", "rs232", "pcat" or empty
  std::string output;  // where the image goes; empty writes none
  bool listing = false;
};

// Translates the source, prints "Lines Translated: NNNNN" and, on failure,
// the status line of the outcome. Returns 0 when an image was built (and
// written), else the download state (1, 7 or 8); 10 when the output file
// cannot be written, 11 when it is the source or the emulator file. A
// regular output file is replaced whole or not at all; a FIFO or a
// character device takes the image as a stream.
// A layout name is looked up in the emulator directories of `paths`.
int RunTranslateCommand(const CliTranslateOptions& options, const LaunchPaths& paths);

}  // namespace lumivane
