#pragma once
#include <cstdint>
#include <vector>

#include "link/KeypadTransfer.h"

namespace lumivane {

class DeviceLink;

// Bytes written at consecutive addresses from `address` on.
struct WrittenBlock {
  std::uint16_t address = 0;
  std::vector<std::uint8_t> bytes;
};

enum class VerifyEnd {
  Done,        // every byte was read back and compared (see the report)
  LinkFailed,  // a read got no answer, the link broke, or the answers came out of step
  Stopped,     // the observer asked to stop
};

// Reads back every byte of the blocks, lowest address first, as one read
// run (DeviceLink::BeginReadRun), and compares each with what was written.
// Reports progress and differences to the observer and *report.
VerifyEnd VerifyWrittenBlocks(DeviceLink& link, std::vector<WrittenBlock> blocks,
                              TransferObserver& observer, VerifyReport* report);

}  // namespace lumivane
