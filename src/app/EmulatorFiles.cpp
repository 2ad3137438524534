#include "app/EmulatorFiles.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "app/TextCase.h"

namespace lumivane {
namespace {

constexpr const char kExtension[] = ".emu";
constexpr std::size_t kExtensionLength = sizeof kExtension - 1;

bool HasExtension(const std::string& name) {
  return name.size() > kExtensionLength &&
         name.compare(name.size() - kExtensionLength, kExtensionLength, kExtension) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Calls `visit` with the name of every entry of `directory`.
template <typename Visit>
void ForEachEntry(const std::string& directory, Visit visit) {
  DIR* listing = ::opendir(directory.empty() ? "." : directory.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) visit(std::string(entry->d_name));
  ::closedir(listing);
}

// The one file in `directory` whose name equals `name` ignoring letter
// case; empty when none or several do.
std::string OnlyFileNamedIgnoringCase(const std::string& directory, const std::string& name) {
  std::string found;
  int matches = 0;
  ForEachEntry(directory, [&](const std::string& entry) {
    if (::strcasecmp(entry.c_str(), name.c_str()) != 0) return;
    found = entry;
    ++matches;
  });
  return matches == 1 ? found : std::string();
}

}  // namespace

std::vector<std::string> EmulatorNamesIn(const std::vector<std::string>& directories) {
  std::set<std::string> unique;
  for (const std::string& directory : directories) {
    ForEachEntry(directory, [&](const std::string& entry) {
      if (HasExtension(entry) && IsRegularFile(directory + entry)) {
        unique.insert(entry.substr(0, entry.size() - kExtensionLength));
      }
    });
  }
  // Byte order first, so that names differing only in case keep one order.
  std::vector<std::string> names(unique.begin(), unique.end());
  SortIgnoringCase(names);
  return names;
}

std::string EmulatorFileFor(const std::string& name, const std::vector<std::string>& directories) {
  if (directories.empty()) return {};
  const std::string fileName = name + kExtension;
  if (name.empty()) return directories.front() + fileName;
  for (const std::string& directory : directories) {
    if (::access((directory + fileName).c_str(), F_OK) == 0) return directory + fileName;
  }
  // The window's list matches layout names ignoring case; so does the command line.
  for (const std::string& directory : directories) {
    const std::string file = OnlyFileNamedIgnoringCase(directory, fileName);
    if (!file.empty()) return directory + file;
  }
  return directories.front() + fileName;
}

namespace {

bool NamesFile(const std::string& value) {
  const bool endsWithEmu =
      value.size() >= kExtensionLength &&
      value.compare(value.size() - kExtensionLength, kExtensionLength, kExtension) == 0;
  return value.find('/') != std::string::npos || endsWithEmu;
}

}  // namespace

std::string EmulatorPathFor(const std::string& value, const std::vector<std::string>& directories) {
  return NamesFile(value) ? value : EmulatorFileFor(value, directories);
}

std::vector<std::string> LayoutFoldersFor(const std::string& value,
                                          const std::vector<std::string>& directories) {
  return NamesFile(value) ? std::vector<std::string>() : directories;
}

}  // namespace lumivane
