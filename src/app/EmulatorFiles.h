#pragma once
#include <string>
#include <vector>

namespace lumivane {

// Names of the layouts in the directories: every regular file "<Name>.emu"
// (a symbolic link to one counts), each name once, sorted without regard to
// letter case. Directories that cannot be read add nothing.
std::vector<std::string> EmulatorNamesIn(const std::vector<std::string>& directories);

// The emulator file of layout `name`, searched in the directories in order
// (each ends with '/'): the first directory holding "<name>.emu" exactly;
// else the first holding one file of that name ignoring letter case; else
// "<name>.emu" in the first directory, which the translator then reports
// as missing. Empty when there is no directory.
std::string EmulatorFileFor(const std::string& name, const std::vector<std::string>& directories);

// The file an --emulator value names: a value holding a '/' or ending in
// ".emu" is a file as it is; anything else is a layout name (EmulatorFileFor).
std::string EmulatorPathFor(const std::string& value, const std::vector<std::string>& directories);

// The directories an --emulator value is looked up in: `directories` for
// a layout name, none for a file.
std::vector<std::string> LayoutFoldersFor(const std::string& value,
                                          const std::vector<std::string>& directories);

}  // namespace lumivane
