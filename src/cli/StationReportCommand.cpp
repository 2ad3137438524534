#include "cli/StationReportCommand.h"

#include <cstdio>

#include "common/ExitStatus.h"
#include "station/StationLog.h"
#include "station/StationReport.h"

namespace lumivane {

int RunStationReportCommand(const CliStationReportOptions& options) {
  const std::string& logPath = options.log;
  const bool csv = options.format == "csv";
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

}  // namespace lumivane
