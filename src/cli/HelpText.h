#pragma once
#include <string>

namespace lumivane {

// The footers of lumivane-cli --help: what --port means on each link, how
// the PC/AT link takes the keypad's answers, which settings are read, and
// which stream carries what, and the table of exit statuses.
std::string KeypadOptionsHelp();
std::string ExitStatusHelp();

}  // namespace lumivane
