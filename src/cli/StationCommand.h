#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "app/LaunchPaths.h"

namespace lumivane {

// Options of "lumivane-cli station".
struct CliStationOptions {
  std::string source, emulator = "English_US", keys = "120", layer = "1", link;
  std::vector<std::string> ports;  // rs232: one slot each
  std::size_t count = 0;           // stop once this many keypads have passed; 0: until Ctrl-C
  std::string log;                 // append every outcome here
  bool noVerify = false;
};

// Translates the source once, prints the image's size and SHA-256, opens
// the log, then serves keypads until Ctrl-C or --count passes. Returns 0
// when every keypad served passed, 18 when one failed, the state of a
// failed translation, 2 for ports that do not fit the link, 10 for a log
// that cannot be written, 12 when the keypads cannot be served.
int RunStationCommand(const CliStationOptions& options, const LaunchPaths& paths);

}  // namespace lumivane
