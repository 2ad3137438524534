#include "cli/StationReportCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "cli/ExitStatus.h"
#include "cli/HelpText.h"
#include "station/StationLog.h"
#include "station/StationReport.h"

namespace lumivane {

int RunStationReportCommand(const std::string& logPath, bool csv) {
  StationLogContents contents;
  LogFailure failure;
  if (!ReadStationLog(logPath, &contents, &failure)) {
    std::fprintf(stderr, "Unable to read the log %s\n", failure.Text().c_str());
    return exit_status::kLogUnreadable;
  }
  for (const std::string& warning : contents.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  const StationReport report = SummariseStationLog(contents.records);
  std::fputs((csv ? FormatReportCsv(report) : FormatReportText(report)).c_str(), stdout);
  return exit_status::kSuccess;
}

void AddStationReportCommand(CLI::App& app, SubcommandRun* chosen) {
  struct Options {
    std::string log;
    std::string format = "text";
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "station-report", "Sum up a station log: per slot and in all, passed and failed, and the images");
  command->add_option("FILE", options->log, "The log that station --log wrote")->required();
  command->add_option("--format", options->format, "text: a table; csv: kind,slot,sha256,length,passed,failed")
      ->transform(CLI::IsMember({"text", "csv"}, CLI::ignore_case));
  command->footer(
      "Runs that the station ended before anything was written count neither as passed nor as\n"
      "failed. A last line that the station did not finish is skipped with a warning.\n" +
      ExitStatusHelp());
  command->callback([options, chosen] {
    *chosen = [options](const LaunchPaths&) { return RunStationReportCommand(options->log, options->format == "csv"); };
  });
}

}  // namespace lumivane
