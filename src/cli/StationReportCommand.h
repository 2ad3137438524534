#pragma once
#include <string>

#include "cli/Subcommand.h"

namespace CLI {
class App;
}

namespace lumivane {

// Declares `station-report` on the app; *chosen runs it when the command line names it.
void AddStationReportCommand(CLI::App& app, SubcommandRun* chosen);

// Sums up a station log on standard output (a table, or CSV); a line that
// holds no outcome is skipped with a warning on standard error. 0, or 19
// when the log cannot be read.
int RunStationReportCommand(const std::string& logPath, bool csv);

}  // namespace lumivane
