// lumivane-cli: translate a configuration source, download it into the
// keypad, or read a layer back from it.
#include <CLI/CLI.hpp>
#include <csignal>

#include "app/FileLayout.h"
#include "cli/CheckCommand.h"
#include "cli/CompareCommand.h"
#include "cli/DownloadCommand.h"
#include "cli/ExitStatus.h"
#include "cli/HelpText.h"
#include "cli/LspCommand.h"
#include "cli/ReadCommand.h"
#include "cli/StationCommand.h"
#include "cli/StationReportCommand.h"
#include "cli/TranslateCommand.h"

int main(int argc, char** argv) {
  // A reader that goes away (| head -1) must not end a download halfway:
  // writes to a closed pipe then fail quietly, and the exit status still
  // tells the outcome.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{
      "Translates keypad configuration sources, downloads them into the keypad, and reads the "
      "keypad back"};
  app.require_subcommand(1);
  const std::string keypadHelp = lumivane::KeypadOptionsHelp();
  const std::string exitHelp = lumivane::ExitStatusHelp();
  app.footer(keypadHelp + exitHelp);
  // Enumerated values are replaced by their canonical (lower-case) member
  // here, so that the rest of the program compares them exactly.
  const auto links = CLI::IsMember({"usb", "rs232", "pcat"}, CLI::ignore_case);

  lumivane::CliTranslateOptions translate;
  CLI::App* translateCommand = app.add_subcommand("translate", "Build the download image of a source");
  translateCommand->add_option("SOURCE", translate.source, "Configuration source (.pos)")->required();
  translateCommand->add_option("--emulator", translate.emulator,
                               "Layout name, or an emulator file (.emu or a path)");
  translateCommand->add_option("--keys", translate.keys, "Number of keys: 360, anything else means 120");
  translateCommand->add_option("--link", translate.link, "Link; pcat also derives the nibble keys")
      ->transform(links);
  translateCommand->add_option("--output", translate.output, "Write the image to this file");
  translateCommand->add_flag("--listing", translate.listing, "Print a readable decode of the image");
  translateCommand->footer(exitHelp);

  lumivane::CliDownloadOptions download;
  CLI::App* downloadCommand = app.add_subcommand("download", "Translate and download into the keypad");
  downloadCommand->add_option("SOURCE", download.source, "Configuration source (.pos)")->required();
  downloadCommand->add_option("--emulator", download.emulator,
                              "Layout name, or an emulator file (.emu or a path)");
  downloadCommand->add_option("--keys", download.keys, "Number of keys: 360, anything else means 120");
  downloadCommand->add_option("--layer", download.layer, "Target layer")
      ->transform(CLI::IsMember({"1", "2"}, CLI::ignore_space));
  downloadCommand->add_option("--link", download.link, "Link to the keypad")->required()->transform(links);
  downloadCommand->add_option("--port", download.port,
                              "rs232: port name (COM1) or device; pcat: the keyboard's event node");
  downloadCommand
      ->add_option("--wait", download.waitSeconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.001, 1.0e6));
  downloadCommand->add_flag("--verify", download.verify,
                            "Read every written byte back before the end command; a difference "
                            "ends with 'Verify failed at 0xADDR ...'");
  downloadCommand->add_flag("--yes", download.yes,
                            "Do not ask before a --verify on pcat (about 1 s for each byte)");
  downloadCommand
      ->add_option("--backup", download.backup,
                   "Read the target layer into FILE (as read writes it) before writing; when FILE "
                   "cannot be written, nothing is written to the keypad. An empty layer leaves "
                   "FILE alone")
      ->option_text("FILE");
  downloadCommand->footer(
      "While the download waits for shift+load, Ctrl-C cancels it. During the transfer a first\n"
      "Ctrl-C only warns; a second one or SIGTERM stops it after the current byte, and the keypad\n"
      "must then be downloaded again. On a terminal, standard error counts the seconds waited and\n"
      "shows the transfer's progress.\n" +
      keypadHelp + exitHelp);

  lumivane::CliReadOptions read;
  CLI::App* readCommand = app.add_subcommand("read", "Read a layer of the keypad into a file");
  readCommand->add_option("--link", read.link, "Link to the keypad")->required()->transform(links);
  readCommand->add_option("--port", read.port,
                          "rs232: port name (COM1) or device; pcat: the keyboard's event node");
  readCommand->add_option("--layer", read.layer, "Layer to read")
      ->transform(CLI::IsMember({"1", "2"}, CLI::ignore_space));
  readCommand->add_option("--output", read.output, "Write the layer's image to FILE")
      ->required()
      ->option_text("FILE REQUIRED");
  readCommand->add_flag("--listing", read.listing, "Also print a readable decode of the image");
  readCommand->add_flag("--raw", read.raw, "Keep the keypad's addresses in the key table");
  readCommand->add_option("--keys", read.keys,
                          "Number of keys: 360, anything else means 120 (default: told from the image)");
  readCommand->add_option("--emulator", read.emulator,
                          "Layout whose nibble keys the keypad types on pcat");
  readCommand
      ->add_option("--wait", read.waitSeconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.001, 1.0e6));
  readCommand->footer(
      "The file equals what translate --output wrote for the source downloaded. Nothing is\n"
      "written to the keypad.\n" +
      keypadHelp + exitHelp);

  lumivane::CliCompareOptions compare;
  CLI::App* compareCommand =
      app.add_subcommand("compare", "Tell whether a layer of the keypad holds a source's image");
  compareCommand->add_option("SOURCE", compare.source, "Configuration source (.pos)")->required();
  compareCommand->add_option("--emulator", compare.emulator,
                             "Layout name, or an emulator file (.emu or a path)");
  compareCommand->add_option("--keys", compare.keys, "Number of keys: 360, anything else means 120");
  compareCommand->add_option("--layer", compare.layer, "Layer to compare")
      ->transform(CLI::IsMember({"1", "2"}, CLI::ignore_space));
  compareCommand->add_option("--link", compare.link, "Link to the keypad")->required()->transform(links);
  compareCommand->add_option("--port", compare.port,
                             "rs232: port name (COM1) or device; pcat: the keyboard's event node");
  compareCommand
      ->add_option("--wait", compare.waitSeconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.001, 1.0e6));
  compareCommand->footer(keypadHelp + exitHelp);

  lumivane::CliCheckOptions check;
  CLI::App* checkCommand = app.add_subcommand("check", "Report every translation error of the sources");
  checkCommand->add_option("SOURCE", check.sources, "Configuration sources (.pos)")->required();
  checkCommand->add_option("--emulator", check.emulator, "Layout name, or an emulator file (.emu or a path)");
  checkCommand->add_option("--keys", check.keys, "Number of keys: 360, anything else means 120");
  checkCommand->add_option("--link", check.link, "Link; pcat also checks the nibble keys")->transform(links);
  checkCommand->add_option("--format", check.format, "text: FILE:LINE:COL: error: lines on standard error; "
                                                     "json: one object per error on standard output")
      ->transform(CLI::IsMember({"text", "json"}, CLI::ignore_case));
  checkCommand->footer(
      "After an error the check reads on at the next tag (after a tag error) or at the next tag or\n"
      "line (after a character error); at most 100 errors per source.\n" + exitHelp);

  lumivane::SubcommandRun chosen;
  lumivane::AddStationCommand(app, &chosen);
  lumivane::AddStationReportCommand(app, &chosen);
  lumivane::AddLspCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help prints the help and succeeds; anything not understood is a
    // usage error, whatever CLI11's own code for it.
    return app.exit(error) == 0 ? lumivane::exit_status::kSuccess : lumivane::exit_status::kUsage;
  }

  // The executable's own folder (/proc/self/exe), portable or installed as
  // the window chooses.
  const lumivane::LaunchPaths paths = lumivane::ResolveFileLayout("");
  if (chosen) return chosen(paths);
  if (*translateCommand) return lumivane::RunTranslateCommand(translate, paths);
  if (*checkCommand) return lumivane::RunCheckCommand(check, paths);
  if (*readCommand) return lumivane::RunReadCommand(read, paths);
  if (*compareCommand) return lumivane::RunCompareCommand(compare, paths);
  return lumivane::RunDownloadCommand(download, paths);
}
