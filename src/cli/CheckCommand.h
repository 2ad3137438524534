#pragma once
#include <string>
#include <vector>

#include "app/LaunchPaths.h"

namespace lumivane {

// Options of "lumivane-cli check".
struct CliCheckOptions {
  std::vector<std::string> sources;
  std::string emulator = "English_US";
  std::string keys = "120";
  std::string link;             // "pcat" also checks the layout's nibble keys
  std::string format = "text";  // "text" or "json"
};

// At most this many errors are reported per source; then a "too many
// errors" line ends its check (a binary file would otherwise give one per line).
inline constexpr std::size_t kCheckErrorsPerSource = 100;

// Translates each source without writing anything and reports every error
// found, not only the first. Text: the compiler lines on standard error
// (with the source line and a caret on a terminal). JSON: one object per
// error on standard output (JSON Lines). Returns 0 when every source is
// clean, 1 when any has errors, 7 when a source cannot be read (the others
// are still checked), 8 when the emulator cannot be used (nothing is checked).
int RunCheckCommand(const CliCheckOptions& options, const LaunchPaths& paths);

}  // namespace lumivane
