#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "download/DownloadHost.h"
#include "link/LinkDetails.h"

namespace lumivane {

struct LayerRoom;

// The detail lines that follow a failure's status line: which file, port,
// device or keyboard node, the system's reason, and a hint where one helps.
// Those that name a link's channel are the links' own (link/LinkDetails.h).

// After "Link option selected is not supported": which link, which ones are.
std::string UnsupportedLinkDetail(LinkKind link);

// After "Not enough memory in the Quintrel": the image's size and the
// room the layer has, with its bounds.
std::string NoMemoryDetail(std::uint32_t imageLength, const LayerRoom& room);

// After "Unable to open the selected emulator" when a layout name matched
// no file: the name and the folders searched.
std::string MissingLayoutDetail(const std::string& name, const std::vector<std::string>& directories);

// The line for a layout name that names no file, or empty when `file`
// exists, `name` was not looked up by name (no directories), or is empty.
std::string MissingLayoutDetailFor(const std::string& name, const std::string& file,
                                   const std::vector<std::string>& directories);

}  // namespace lumivane
