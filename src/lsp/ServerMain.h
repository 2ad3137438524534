#pragma once
#include "app/LaunchPaths.h"

namespace lumivane::lsp {

// Serves the protocol on `input` and `output` until exit or the end of the
// input; returns the exit status (0 after shutdown, 1 otherwise). Layouts
// are looked up, and the settings file is read, as lumivane-cli does.
int RunLanguageServer(int input, int output, const LaunchPaths& paths);

}  // namespace lumivane::lsp
