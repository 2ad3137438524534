#include "cli/CommandLine.h"

#include <cmath>
#include <string>

#include "cli/HelpText.h"

namespace lumivane {

namespace {

// --wait SECONDS: a number from 0.001 to 1000000. CLI11's range check lets
// NaN through (no comparison with it is true) and calls a text that is no
// number "not in range": "abc" and "nan" are refused as no number, "0",
// "-1" and "inf" as out of range.
CLI::Validator WaitSecondsCheck() {
  const CLI::Range range(0.001, 1.0e6);
  return CLI::Validator(
      [range](std::string& text) {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || std::isnan(value))
          return "Value " + text + " is not a number";
        return range(text);
      },
      range.get_description());
}

// Enumerated values are replaced by their canonical (lower-case) member,
// so that the rest of the program compares them exactly.
CLI::IsMember Links() { return CLI::IsMember({"usb", "rs232", "pcat"}, CLI::ignore_case); }

void AddSource(CLI::App* command, std::string& source) {
  command->add_option("SOURCE", source, "Configuration source (.pos)")->required();
}

void AddEmulator(CLI::App* command, std::string& emulator) {
  command->add_option("--emulator", emulator, "Layout name, or an emulator file (.emu or a path)");
}

void AddKeys(CLI::App* command, std::string& keys) {
  command->add_option("--keys", keys, "Number of keys: 360, anything else means 120");
}

void AddLayer(CLI::App* command, std::string& layer, const char* description) {
  command->add_option("--layer", layer, description)->transform(CLI::IsMember({"1", "2"}, CLI::ignore_space));
}

void AddKeypadLink(CLI::App* command, std::string& link) {
  command->add_option("--link", link, "Link to the keypad")->required()->transform(Links());
}

void AddPort(CLI::App* command, std::string& port) {
  command->add_option("--port", port, "rs232: port name (COM1) or device; pcat: the keyboard's event node");
}

void AddWait(CLI::App* command, double& seconds) {
  command
      ->add_option("--wait", seconds,
                   "Give up waiting for shift+load after SECONDS (default: wait until Ctrl-C)")
      ->option_text("SECONDS")
      ->check(WaitSecondsCheck());
}

CLI::App* DeclareTranslate(CLI::App& app, CliTranslateOptions& options) {
  CLI::App* command = app.add_subcommand("translate", "Build the download image of a source");
  AddSource(command, options.source);
  AddEmulator(command, options.emulator);
  AddKeys(command, options.keys);
  command->add_option("--link", options.link, "Link; pcat also derives the nibble keys")->transform(Links());
  command->add_option("--output", options.output, "Write the image to this file");
  command->add_flag("--listing", options.listing, "Print a readable decode of the image");
  command->footer(ExitStatusHelp());
  return command;
}

CLI::App* DeclareDownload(CLI::App& app, CliDownloadOptions& options) {
  CLI::App* command = app.add_subcommand("download", "Translate and download into the keypad");
  AddSource(command, options.source);
  AddEmulator(command, options.emulator);
  AddKeys(command, options.keys);
  AddLayer(command, options.layer, "Target layer");
  AddKeypadLink(command, options.link);
  AddPort(command, options.port);
  AddWait(command, options.waitSeconds);
  command->add_flag("--verify", options.verify,
                    "Read every written byte back before the end command; a difference "
                    "ends with 'Verify failed at 0xADDR ...'");
  command->add_flag("--yes", options.yes, "Do not ask before a --verify on pcat (about 1 s for each byte)");
  command
      ->add_option("--backup", options.backup,
                   "Read the target layer into FILE (as read writes it) before writing; when FILE "
                   "cannot be written, nothing is written to the keypad. An empty layer leaves "
                   "FILE alone")
      ->option_text("FILE");
  command->footer(
      "While the download waits for shift+load, Ctrl-C cancels it. During the transfer a first\n"
      "Ctrl-C only warns; a second one or SIGTERM stops it after the current byte, and the keypad\n"
      "must then be downloaded again. On a terminal, standard error counts the seconds waited and\n"
      "shows the transfer's progress.\n" +
      KeypadOptionsHelp() + ExitStatusHelp());
  return command;
}

CLI::App* DeclareRead(CLI::App& app, CliReadOptions& options) {
  CLI::App* command = app.add_subcommand("read", "Read a layer of the keypad into a file");
  AddKeypadLink(command, options.link);
  AddPort(command, options.port);
  AddLayer(command, options.layer, "Layer to read");
  command->add_option("--output", options.output, "Write the layer's image to FILE")
      ->required()
      ->option_text("FILE REQUIRED");
  command->add_flag("--listing", options.listing, "Also print a readable decode of the image");
  command->add_flag("--raw", options.raw, "Keep the keypad's addresses in the key table");
  command->add_option("--keys", options.keys,
                      "Number of keys: 360, anything else means 120 (default: told from the image)");
  command->add_option("--emulator", options.emulator, "Layout whose nibble keys the keypad types on pcat");
  AddWait(command, options.waitSeconds);
  command->footer(
      "The file equals what translate --output wrote for the source downloaded. Nothing is\n"
      "written to the keypad.\n" +
      KeypadOptionsHelp() + ExitStatusHelp());
  return command;
}

CLI::App* DeclareCompare(CLI::App& app, CliCompareOptions& options) {
  CLI::App* command = app.add_subcommand("compare", "Tell whether a layer of the keypad holds a source's image");
  AddSource(command, options.source);
  AddEmulator(command, options.emulator);
  AddKeys(command, options.keys);
  AddLayer(command, options.layer, "Layer to compare");
  AddKeypadLink(command, options.link);
  AddPort(command, options.port);
  AddWait(command, options.waitSeconds);
  command->footer(KeypadOptionsHelp() + ExitStatusHelp());
  return command;
}

CLI::App* DeclareCheck(CLI::App& app, CliCheckOptions& options) {
  CLI::App* command = app.add_subcommand("check", "Report every translation error of the sources");
  command->add_option("SOURCE", options.sources, "Configuration sources (.pos)")->required();
  AddEmulator(command, options.emulator);
  AddKeys(command, options.keys);
  command->add_option("--link", options.link, "Link; pcat also checks the nibble keys")->transform(Links());
  command
      ->add_option("--format", options.format,
                   "text: FILE:LINE:COL: error: lines on standard error; "
                   "json: one object per error on standard output")
      ->transform(CLI::IsMember({"text", "json"}, CLI::ignore_case));
  command->footer(
      "After an error the check reads on at the next tag (after a tag error) or at the next tag or\n"
      "line (after a character error); at most 100 errors per source.\n" +
      ExitStatusHelp());
  return command;
}

CLI::App* DeclareStation(CLI::App& app, CliStationOptions& options) {
  CLI::App* command = app.add_subcommand(
      "station", "Serve a tray of keypads: each plugged in (usb) or on a --port (rs232) gets the image");
  AddSource(command, options.source);
  AddEmulator(command, options.emulator);
  AddKeys(command, options.keys);
  AddLayer(command, options.layer, "Target layer");
  command->add_option("--link", options.link, "Link to the keypads")
      ->required()
      ->transform(CLI::IsMember({"usb", "rs232"}, CLI::ignore_case));
  command->add_option("--port", options.ports, "rs232: a port name (COM1) or device; one slot each, repeatable");
  command->add_option("--count", options.count, "Stop once N keypads have passed")
      ->option_text("N")
      ->check(CLI::PositiveNumber);
  command->add_option("--log", options.log, "Append one JSON line per outcome to FILE, synced as written")
      ->option_text("FILE");
  command->add_flag("--no-verify", options.noVerify, "Do not read the written bytes back (verified by default)");
  command->footer(
      "Every keypad is written, verified and ended on its own; one that fails, hangs or is pulled\n"
      "never holds another. A keypad is written again only after it was unplugged and plugged in\n"
      "again (usb), or taken off its line (rs232). Ctrl-C arms no more keypads and lets the\n"
      "transfers under way finish; a second Ctrl-C stops them and names each keypad left with an\n"
      "incomplete image. On a terminal one line per slot is redrawn in place; otherwise one line\n"
      "per event.\n" +
      ExitStatusHelp());
  return command;
}

CLI::App* DeclareStationReport(CLI::App& app, CliStationReportOptions& options) {
  CLI::App* command = app.add_subcommand(
      "station-report", "Sum up a station log: per slot and in all, passed and failed, and the images");
  command->add_option("FILE", options.log, "The log that station --log wrote")->required();
  command->add_option("--format", options.format, "text: a table; csv: kind,slot,sha256,length,passed,failed")
      ->transform(CLI::IsMember({"text", "csv"}, CLI::ignore_case));
  command->footer(
      "Runs that the station ended before anything was written count neither as passed nor as\n"
      "failed. A last line that the station did not finish is skipped with a warning.\n" +
      ExitStatusHelp());
  return command;
}

}  // namespace

void DeclareCommands(CLI::App& app, CliCommands* commands) {
  commands->translateCommand = DeclareTranslate(app, commands->translate);
  commands->downloadCommand = DeclareDownload(app, commands->download);
  commands->readCommand = DeclareRead(app, commands->read);
  commands->compareCommand = DeclareCompare(app, commands->compare);
  commands->checkCommand = DeclareCheck(app, commands->check);
  commands->lspCommand = DeclareLspCommand(app);
  commands->stationCommand = DeclareStation(app, commands->station);
  commands->stationReportCommand = DeclareStationReport(app, commands->stationReport);
}

int RunChosenCommand(const CliCommands& commands, const LaunchPaths& paths) {
  if (*commands.stationCommand) return RunStationCommand(commands.station, paths);
  if (*commands.stationReportCommand) return RunStationReportCommand(commands.stationReport);
  if (*commands.translateCommand) return RunTranslateCommand(commands.translate, paths);
  if (*commands.checkCommand) return RunCheckCommand(commands.check, paths);
  if (*commands.readCommand) return RunReadCommand(commands.read, paths);
  if (*commands.compareCommand) return RunCompareCommand(commands.compare, paths);
  if (*commands.lspCommand) return RunLspCommand(paths);
  return RunDownloadCommand(commands.download, paths);
}

}  // namespace lumivane
