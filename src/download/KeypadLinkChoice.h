#pragma once
#include <array>
#include <memory>

#include "download/DownloadChain.h"

namespace lumivane {

class DeviceLink;
class KeySource;

// The link a download's choices name, over the channels given; null for a
// link that is not supported (the chain then says so).
std::unique_ptr<DeviceLink> MakeKeypadLink(const DownloadChoices& choices, const LinkChannels& channels,
                                           Clock& clock, KeySource& keys,
                                           const std::array<char, 16>& nibbleKeys);

}  // namespace lumivane
