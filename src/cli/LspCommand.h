#pragma once
#include <CLI/CLI.hpp>

namespace lumivane {

// Adds "lumivane-cli lsp", which serves the Language Server Protocol on
// standard input and output; when chosen it runs while the command line is
// parsed and ends the program with the server's exit status.
void AddLspCommand(CLI::App& app);

}  // namespace lumivane
