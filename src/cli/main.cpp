// lumivane-cli: translate a configuration source, download it into the
// keypad, or read a layer back from it.
#include <CLI/CLI.hpp>
#include <csignal>

#include "app/FileLayout.h"
#include "cli/CheckCommand.h"
#include "cli/CompareCommand.h"
#include "cli/DownloadCommand.h"
#include "cli/ReadCommand.h"
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
                              "Serial port name (COM1) or device path; on pcat the keyboard's event node");
  downloadCommand
      ->add_option("--wait", download.waitSeconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.001, 1.0e6));
  downloadCommand->add_flag("--verify", download.verify,
                            "Read every written byte back before the end command; a difference "
                            "ends with 'Verify failed at 0xADDR ...' and exit status 14");
  downloadCommand->add_flag("--yes", download.yes,
                            "Do not ask before a --verify on pcat (about 1 s for each byte)");
  downloadCommand
      ->add_option("--backup", download.backup,
                   "Read the target layer into FILE (as read writes it) before writing; when FILE "
                   "cannot be written, nothing is written to the keypad. An empty layer leaves "
                   "FILE alone")
      ->option_text("FILE");
  downloadCommand->footer(
      "Exit status: 0 after DOWNLOAD SUCCESSFUL; 1..9 the state of a failure (6: communication\n"
      "timeout); 14 verify failed; 10 the backup could not be written (nothing was written), or\n"
      "ended otherwise (port, wait limit, input ended); 11 --backup names the source or the\n"
      "emulator; 2 --verify on pcat not confirmed; 130 after SIGINT and 143 after SIGTERM. During\n"
      "the transfer a first Ctrl-C only warns; a second one or SIGTERM stops it after the current\n"
      "byte, and the keypad must then be downloaded again.");

  lumivane::CliReadOptions read;
  CLI::App* readCommand = app.add_subcommand("read", "Read a layer of the keypad into a file");
  readCommand->add_option("--link", read.link, "Link to the keypad")->required()->transform(links);
  readCommand->add_option("--port", read.port,
                          "Serial port name (COM1) or device path; on pcat the keyboard's event node");
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
      "written to the keypad. Exit status: 0 file written; 16 the layer holds no image (no file);\n"
      "10 the file cannot be written; 6, 9, 10 link failures as for download; 130, 143 signals.");

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
                             "Serial port name (COM1) or device path; on pcat the keyboard's event node");
  compareCommand
      ->add_option("--wait", compare.waitSeconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.001, 1.0e6));
  compareCommand->footer(
      "Exit status: 0 the keypad holds exactly the source's image; 15 it holds another (the\n"
      "differences follow); 16 the layer holds no image; 1, 7, 8 translation failures; 6, 9, 10\n"
      "link failures as for download; 130, 143 signals.");

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
      "line (after a character error); at most 100 errors per source. Exit status: 0 every source\n"
      "is clean; 1 errors were found; 7 a source cannot be read; 8 the emulator cannot be used.");

  CLI11_PARSE(app, argc, argv);

  // The executable's own folder (/proc/self/exe), portable or installed as
  // the window chooses.
  const lumivane::LaunchPaths paths = lumivane::ResolveFileLayout("");
  if (*translateCommand) return lumivane::RunTranslateCommand(translate, paths);
  if (*checkCommand) return lumivane::RunCheckCommand(check, paths);
  if (*readCommand) return lumivane::RunReadCommand(read, paths);
  if (*compareCommand) return lumivane::RunCompareCommand(compare, paths);
  return lumivane::RunDownloadCommand(download, paths);
}
