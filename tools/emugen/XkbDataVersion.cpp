#include "XkbDataVersion.h"

#include <cstdio>

namespace emugen {

std::string InstalledXkbDataVersion() {
  FILE* pipe = popen("dpkg-query -W -f '${Version}' xkb-data 2>/dev/null", "r");
  if (!pipe) return "unknown";
  char buffer[128] = {};
  const size_t length = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  pclose(pipe);
  std::string version(buffer, length);
  return version.empty() ? "unknown" : version;
}

}  // namespace emugen
