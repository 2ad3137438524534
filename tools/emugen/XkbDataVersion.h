#pragma once
#include <string>

namespace emugen {

// Version of the installed xkeyboard-config package (xkb-data), as dpkg
// reports it; "unknown" when it cannot be asked.
std::string InstalledXkbDataVersion();

}  // namespace emugen
