#pragma once
#include <string>

namespace lumivane {

// Options of "lumivane-cli station-report".
struct CliStationReportOptions {
  std::string log;
  std::string format = "text";  // or "csv"
};

// Sums up a station log on standard output (a table, or CSV); a line that
// holds no outcome is skipped with a warning on standard error. 0, or 19
// when the log cannot be read.
int RunStationReportCommand(const CliStationReportOptions& options);

}  // namespace lumivane
