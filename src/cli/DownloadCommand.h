#pragma once
#include <string>

#include "app/LaunchPaths.h"
#include "cli/KeypadSession.h"

namespace lumivane {

// Options of "lumivane-cli download".
struct CliDownloadOptions : CliKeypadOptions {
  bool verify = false;     // read every written byte back before the end command
  bool yes = false;        // no confirmation asked (--verify on pcat)
  std::string backup;      // keep the target layer's image here first
};

// Translates the source and downloads the image into the keypad, printing
// every status line on its own line. Returns an exit status of
// common/ExitStatus.h: 0 after a successful download, the state (1..9) of a
// failure, or the status of how else it ended.
// A layout name is looked up in the emulator directories of `paths`.
int RunDownloadCommand(const CliDownloadOptions& options, const LaunchPaths& paths);

}  // namespace lumivane
