#pragma once
#include <CLI/CLI.hpp>

#include "app/LaunchPaths.h"

namespace lumivane {

// Adds "lumivane-cli lsp", which serves the Language Server Protocol on
// standard input and output.
CLI::App* DeclareLspCommand(CLI::App& app);

// Serves until the client leaves; the server's exit status is the program's.
int RunLspCommand(const LaunchPaths& paths);

}  // namespace lumivane
