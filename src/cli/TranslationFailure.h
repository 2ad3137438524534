#pragma once
#include <string>

#include "app/LaunchPaths.h"
#include "translator/DownloadState.h"

namespace lumivane {

class ImageBuilder;

// After a translation that built no image: prints its status line, then
// where and why, as `translate` does (a translation error in compiler form
// on standard error; for a layout name that matched no file, the folders
// searched; else the builder's detail line). Returns the state, which is
// the exit status.
int PrintTranslationFailure(DownloadState state, const ImageBuilder& builder, const std::string& source,
                            const std::string& emulatorOption, const std::string& emulatorPath,
                            const LaunchPaths& paths);

}  // namespace lumivane
