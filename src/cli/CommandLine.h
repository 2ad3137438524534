#pragma once
#include <CLI/CLI.hpp>

#include "app/LaunchPaths.h"
#include "cli/CheckCommand.h"
#include "cli/CompareCommand.h"
#include "cli/DownloadCommand.h"
#include "cli/LspCommand.h"
#include "cli/ReadCommand.h"
#include "cli/StationCommand.h"
#include "cli/StationReportCommand.h"
#include "cli/TranslateCommand.h"

namespace lumivane {

// The subcommands of lumivane-cli that run after the command line is
// parsed, and the options each of them fills.
struct CliCommands {
  CliTranslateOptions translate;
  CliDownloadOptions download;
  CliReadOptions read;
  CliCompareOptions compare;
  CliCheckOptions check;
  CliStationOptions station;
  CliStationReportOptions stationReport;
  CLI::App* translateCommand = nullptr;
  CLI::App* downloadCommand = nullptr;
  CLI::App* readCommand = nullptr;
  CLI::App* compareCommand = nullptr;
  CLI::App* checkCommand = nullptr;
  CLI::App* lspCommand = nullptr;
  CLI::App* stationCommand = nullptr;
  CLI::App* stationReportCommand = nullptr;
};

// Declares translate, download, read, compare, check, lsp, station and
// station-report on `app`, with their help; the options shared by the
// keypad subcommands are declared
// by one function each. `commands` must outlive the parse.
void DeclareCommands(CLI::App& app, CliCommands* commands);

// Runs the parsed subcommand and returns its exit status.
int RunChosenCommand(const CliCommands& commands, const LaunchPaths& paths);

}  // namespace lumivane
