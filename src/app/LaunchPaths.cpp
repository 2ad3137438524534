#include "app/LaunchPaths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace lumivane {
namespace {

constexpr const char* kSettingsFileName = "Lumivane.ini";

bool RealPath(const std::string& path, std::string* resolved) {
  char buffer[PATH_MAX];
  if (path.empty() || realpath(path.c_str(), buffer) == nullptr) return false;
  *resolved = buffer;
  return true;
}

}  // namespace

LaunchPaths LaunchPathsForExecutable(const std::string& executablePath) {
  LaunchPaths paths;
  std::size_t slash = executablePath.rfind('/');
  paths.programDirectory = slash == std::string::npos ? "" : executablePath.substr(0, slash + 1);
  paths.executableName = executablePath.substr(slash == std::string::npos ? 0 : slash + 1);
  paths.settingsPath = paths.programDirectory + kSettingsFileName;
  if (paths.executableName == kSettingsFileName) {
    // An executable that carries the settings file's own name must not be
    // overwritten by the first settings write.
    paths.settingsPath += ".ini";
  }
  paths.emulatorDirectories = {paths.programDirectory};
  paths.sampleDirectory = paths.programDirectory;
  return paths;
}

LaunchPaths ResolveLaunchPaths(const std::string& argv0, const std::string& selfExeLink) {
  std::string resolved;
  bool found = argv0.find('/') != std::string::npos && RealPath(argv0, &resolved);
  if (!found) found = RealPath(selfExeLink, &resolved);
  if (!found) resolved = argv0;  // nothing better: the settings go to the working directory
  return LaunchPathsForExecutable(resolved);
}

std::string AbsoluteFromWorkingDirectory(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  if (!directory) return path;
  std::string absolute = directory.get();
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
}

}  // namespace lumivane
