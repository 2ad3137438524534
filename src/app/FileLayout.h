#pragma once
#include <string>

#include "app/LaunchPaths.h"
#include "app/SettingsStore.h"

namespace lumivane {

// What the choice of the file layout reads from the environment; a field
// is empty when its variable is unset.
struct UserEnvironment {
  std::string home;           // $HOME, else the home folder in the password database
  std::string xdgConfigHome;  // $XDG_CONFIG_HOME
  std::string xdgDataHome;    // $XDG_DATA_HOME
};

UserEnvironment ProcessUserEnvironment();

// The installed data folder of an executable in `programDirectory`
// (<prefix>/share/lumivane/ for <prefix>/bin/). It is found relative to
// the executable, so that a staged (DESTDIR) or moved installation uses
// its own files.
std::string InstalledDataDirectory(const std::string& programDirectory);

// Portable when the program directory of `beside` (LaunchPathsForExecutable)
// holds the settings file or any emulator file: `beside` comes back as it
// is. Installed otherwise:
// - settings: $XDG_CONFIG_HOME/lumivane/Lumivane.ini (default ~/.config);
// - emulators: $XDG_DATA_HOME/lumivane/emulators/ (default ~/.local/share),
//   a user's own layouts, then the installed data folder's emulators/;
// - the default configuration source: in the installed data folder.
// An XDG variable that holds no absolute path is ignored, as the XDG base
// directory rules say. Without any home folder the settings stay beside
// the executable and only the installed emulators are searched.
LaunchPaths ChooseFileLayout(const LaunchPaths& beside, const UserEnvironment& environment);

// ResolveLaunchPaths, then ChooseFileLayout with the process's environment:
// the window and lumivane-cli choose alike.
LaunchPaths ResolveFileLayout(const std::string& argv0);

// The store of the settings file; in installed mode its first write
// creates the missing folders (mode 0700).
SettingsStore SettingsStoreFor(const LaunchPaths& paths);

}  // namespace lumivane
