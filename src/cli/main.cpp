// lumivane-cli: translate a configuration source, download it into the
// keypad, or read a layer back from it.
#include <CLI/CLI.hpp>
#include <csignal>

#include "app/FileLayout.h"
#include "cli/CommandLine.h"
#include "common/ExitStatus.h"
#include "cli/HelpText.h"

int main(int argc, char** argv) {
  // A reader that goes away (| head -1) must not end a download halfway:
  // writes to a closed pipe then fail quietly, and the exit status still
  // tells the outcome.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{
      "Translates keypad configuration sources, downloads them into the keypad, and reads the "
      "keypad back"};
  app.require_subcommand(1);
  app.footer(lumivane::KeypadOptionsHelp() + lumivane::ExitStatusHelp());
  lumivane::CliCommands commands;
  lumivane::DeclareCommands(app, &commands);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help prints the help and succeeds; anything not understood is a
    // usage error, whatever CLI11's own code for it.
    return app.exit(error) == 0 ? lumivane::exit_status::kSuccess : lumivane::exit_status::kUsage;
  }
  // The executable's own folder (/proc/self/exe), portable or installed as
  // the window chooses.
  return lumivane::RunChosenCommand(commands, lumivane::ResolveFileLayout(""));
}
