#pragma once
#include <string>

namespace lumivane {

// Where the program lies and where its settings file is.
struct LaunchPaths {
  std::string programDirectory;  // ends with '/'; empty when unknown
  std::string executableName;    // file name of the running executable
  std::string settingsPath;      // "Lumivane.ini" in programDirectory
};

// Paths for the executable at `executablePath` (an absolute, resolved path).
// The settings file sits next to the executable and is never the executable
// itself, whatever the executable is called.
LaunchPaths LaunchPathsForExecutable(const std::string& executablePath);

// Resolves the running executable: the real path of argv[0] when it names a
// directory, otherwise (or when that fails) the link `selfExeLink`, which is
// /proc/self/exe on Linux.
LaunchPaths ResolveLaunchPaths(const std::string& argv0,
                               const std::string& selfExeLink = "/proc/self/exe");

// A relative path made absolute: the working directory, '/', then the path,
// byte for byte (symbolic links are not resolved, "." and ".." stay). An
// absolute or empty path, or any path while the working directory is
// unknown, comes back as it is.
std::string AbsoluteFromWorkingDirectory(const std::string& path);

}  // namespace lumivane
