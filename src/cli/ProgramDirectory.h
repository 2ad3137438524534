#pragma once
#include <string>

namespace lumivane {

// Directory of the running executable (the real path behind /proc/self/exe),
// ending with '/'. The emulator files and the sample live there.
std::string ProgramDirectory();

// Path of the emulator file for an --emulator value: a value holding a '/'
// or ending in ".emu" is a file as it is; anything else is a layout name,
// looked up as <programDirectory><name>.emu, or else as the one file there
// whose name matches ignoring letter case.
std::string EmulatorPathFor(const std::string& value, const std::string& programDirectory);

}  // namespace lumivane
