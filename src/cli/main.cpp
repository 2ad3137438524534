// lumivane-cli: translate a configuration source, or download it into the keypad.
#include <CLI/CLI.hpp>
#include <csignal>

#include "app/FileLayout.h"
#include "cli/DownloadCommand.h"
#include "cli/TranslateCommand.h"

int main(int argc, char** argv) {
  // A reader that goes away (| head -1) must not end a download halfway:
  // writes to a closed pipe then fail quietly, and the exit status still
  // tells the outcome.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{"Translates keypad configuration sources and downloads them into the keypad"};
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
  downloadCommand->footer(
      "Exit status: 0 after DOWNLOAD SUCCESSFUL; 1..9 the state of a failure (6: communication\n"
      "timeout); 10 ended otherwise (port, wait limit, input ended); 130 after SIGINT and 143 after\n"
      "SIGTERM. During the transfer a first Ctrl-C only warns; a second one or SIGTERM stops it after\n"
      "the current byte, and the keypad must then be downloaded again.");

  CLI11_PARSE(app, argc, argv);

  // The executable's own folder (/proc/self/exe), portable or installed as
  // the window chooses.
  const lumivane::LaunchPaths paths = lumivane::ResolveFileLayout("");
  if (*translateCommand) return lumivane::RunTranslateCommand(translate, paths);
  return lumivane::RunDownloadCommand(download, paths);
}
