#include "cli/ProgramDirectory.h"

#include <dirent.h>
#include <limits.h>
#include <strings.h>
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

namespace {

// The one file in `directory` whose name equals `name` ignoring letter
// case; empty when none or several do.
std::string OnlyFileNamedIgnoringCase(const std::string& directory, const std::string& name) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return {};
  std::string found;
  int matches = 0;
  while (const dirent* entry = ::readdir(listing)) {
    if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
    found = entry->d_name;
    ++matches;
  }
  ::closedir(listing);
  return matches == 1 ? found : std::string();
}

}  // namespace

std::string EmulatorPathFor(const std::string& value, const std::string& programDirectory) {
  const bool endsWithEmu = value.size() >= 4 && value.compare(value.size() - 4, 4, ".emu") == 0;
  if (value.find('/') != std::string::npos || endsWithEmu) return value;
  const std::string exact = programDirectory + value + ".emu";
  if (value.empty() || ::access(exact.c_str(), F_OK) == 0) return exact;
  // The window's list matches layout names ignoring case; so does the command line.
  const std::string file = OnlyFileNamedIgnoringCase(programDirectory, value + ".emu");
  return file.empty() ? exact : programDirectory + file;
}

}  // namespace lumivane
