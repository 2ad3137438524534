#include "cli/ProgramDirectory.h"

#include <limits.h>
#include <unistd.h>

namespace lumivane {

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "./";
  const std::string executable(path, static_cast<std::size_t>(length));
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return "./";
  return executable.substr(0, slash + 1);
}

std::string EmulatorPathFor(const std::string& value, const std::string& programDirectory) {
  const bool endsWithEmu = value.size() >= 4 && value.compare(value.size() - 4, 4, ".emu") == 0;
  if (value.find('/') != std::string::npos || endsWithEmu) return value;
  return programDirectory + value + ".emu";
}

}  // namespace lumivane
