#include "cli/LspCommand.h"

#include <unistd.h>

#include "lsp/ServerMain.h"

namespace lumivane {

CLI::App* DeclareLspCommand(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "lsp", "Serve the Language Server Protocol on standard input and output, for editors");
  command->footer(
      "JSON-RPC 2.0 with Content-Length framing. Diagnostics as check reports them, quick fixes for\n"
      "their suggestions, completion after '<', hover, document symbols and inlay hints. The layout\n"
      "and keys come from the client's initializationOptions or its configuration (lumivane.emulator,\n"
      "lumivane.keys), else from the settings file, else English_US and 120. Ends on exit, or when\n"
      "standard input closes: 0 after a shutdown request, 1 otherwise.");
  return command;
}

int RunLspCommand(const LaunchPaths& paths) { return lsp::RunLanguageServer(STDIN_FILENO, STDOUT_FILENO, paths); }

}  // namespace lumivane
