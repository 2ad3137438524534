#include "app/LaunchPaths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

namespace lumivane {
namespace {

constexpr const char* kSettingsFileName = "Lumivane.ini";

std::optional<std::string> RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  if (path.empty() || realpath(path.c_str(), buffer) == nullptr) return std::nullopt;
  return std::string(buffer);
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
  std::optional<std::string> resolved;
  if (argv0.find('/') != std::string::npos) resolved = RealPath(argv0);
  if (!resolved) resolved = RealPath(selfExeLink);
  // Nothing better: the settings go to the working directory.
  return LaunchPathsForExecutable(resolved.value_or(argv0));
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
