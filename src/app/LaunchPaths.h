#pragma once
#include <string>
#include <vector>

namespace lumivane {

// Portable: the settings and the emulator files beside the executable.
// Installed: the settings in the user's configuration folder, the emulator
// files in the user's data folder and in the installed data folder
// (FileLayout.h chooses).
enum class FileMode { Portable, Installed };

// Where the program lies and where the files it uses are.
struct LaunchPaths {
  std::string programDirectory;  // ends with '/'; empty when unknown
  std::string executableName;    // file name of the running executable
  std::string settingsPath;      // the settings file every read and write uses
  // Searched in this order for <Name>.emu; each ends with '/'.
  std::vector<std::string> emulatorDirectories;
  std::string sampleDirectory;   // holds the default configuration source
  FileMode mode = FileMode::Portable;
};

// Portable paths for the executable at `executablePath` (an absolute,
// resolved path): settings, emulators and sample in its directory. The
// settings file is never the executable itself, whatever it is called.
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
