#pragma once
#include <functional>

#include "app/LaunchPaths.h"

namespace lumivane {

// What a subcommand runs once the command line has chosen it: its exit
// status. A subcommand's Add...Command function declares it on the app and
// sets this when the command line names it.
using SubcommandRun = std::function<int(const LaunchPaths& paths)>;

}  // namespace lumivane
