#pragma once
#include <string>

#include "app/LaunchPaths.h"
#include "cli/KeypadSession.h"

namespace lumivane {

// Options of "lumivane-cli compare".
struct CliCompareOptions : CliKeypadOptions {};

// Translates the source, reads the layer as `read` does, and says whether
// the keypad holds exactly that image; if not, the differences, one line
// each. Sends no write command and ends with the end command. Returns 0
// when they are equal, 15 when they differ, 16 when the layer holds no
// image; else the statuses of a download (translation and link failures).
int RunCompareCommand(const CliCompareOptions& options, const LaunchPaths& paths);

}  // namespace lumivane
