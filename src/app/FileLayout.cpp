#include "app/FileLayout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "app/EmulatorFiles.h"

// The data folder relative to the folder of the installed executables, from
// the install directories the build was configured with.
#ifndef LUMIVANE_DATA_FROM_BIN
#define LUMIVANE_DATA_FROM_BIN "../share/lumivane"
#endif

namespace lumivane {
namespace {

constexpr const char* kSettingsFileName = "Lumivane.ini";
constexpr const char* kOwnFolder = "lumivane/";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFromPasswordDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

// `path` ending with exactly one '/'.
std::string AsDirectory(std::string path) {
  if (path.empty()) return "/";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.back() != '/') path += '/';
  return path;
}

// The XDG base folder: the variable when it holds an absolute path, else
// `fallback` below the home folder; empty when neither is usable.
std::string BaseDirectory(const std::string& variable, const std::string& home, const char* fallback) {
  if (!variable.empty() && variable.front() == '/') return AsDirectory(variable);
  if (home.empty() || home.front() != '/') return {};
  return AsDirectory(home) + fallback;
}

bool IsPortable(const LaunchPaths& beside) {
  struct stat info {};
  return ::lstat(beside.settingsPath.c_str(), &info) == 0 ||
         !EmulatorNamesIn({beside.programDirectory}).empty();
}

// Lexically applies `relative` ("../share/lumivane") to `directory`
// ("/usr/bin/"), which is a resolved path without "." or "..".
std::string Resolve(std::string directory, const std::string& relative) {
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (part == "..") {
      if (directory.size() > 1) directory.erase(directory.rfind('/', directory.size() - 2) + 1);
    } else if (!part.empty() && part != ".") {
      directory += part + "/";
    }
    start = end + 1;
  }
  return directory;
}

}  // namespace

UserEnvironment ProcessUserEnvironment() {
  UserEnvironment environment;
  environment.home = Variable("HOME");
  if (environment.home.empty()) environment.home = HomeFromPasswordDatabase();
  environment.xdgConfigHome = Variable("XDG_CONFIG_HOME");
  environment.xdgDataHome = Variable("XDG_DATA_HOME");
  return environment;
}

std::string InstalledDataDirectory(const std::string& programDirectory) {
  return Resolve(AsDirectory(programDirectory.empty() ? "/" : programDirectory), LUMIVANE_DATA_FROM_BIN);
}

LaunchPaths ChooseFileLayout(const LaunchPaths& beside, const UserEnvironment& environment) {
  if (IsPortable(beside)) return beside;
  LaunchPaths paths = beside;
  paths.mode = FileMode::Installed;
  const std::string data = InstalledDataDirectory(beside.programDirectory);
  paths.sampleDirectory = data;
  paths.emulatorDirectories.clear();
  const std::string config = BaseDirectory(environment.xdgConfigHome, environment.home, ".config/");
  if (!config.empty()) paths.settingsPath = config + kOwnFolder + kSettingsFileName;
  const std::string userData = BaseDirectory(environment.xdgDataHome, environment.home, ".local/share/");
  if (!userData.empty()) paths.emulatorDirectories.push_back(userData + kOwnFolder + "emulators/");
  paths.emulatorDirectories.push_back(data + "emulators/");
  return paths;
}

LaunchPaths ResolveFileLayout(const std::string& argv0) {
  return ChooseFileLayout(ResolveLaunchPaths(argv0), ProcessUserEnvironment());
}

SettingsStore SettingsStoreFor(const LaunchPaths& paths) {
  return SettingsStore(paths.settingsPath, paths.mode == FileMode::Installed
                                               ? SettingsFolder::CreateOnWrite
                                               : SettingsFolder::MustExist);
}

}  // namespace lumivane
