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

struct VerifyPassResult {
  VerifyEnd end = VerifyEnd::Done;
  VerifyReport report;  // what was compared up to the end
};

// Reads back every byte of the blocks, lowest address first, as one read
// run (DeviceLink::BeginReadRun), and compares each with what was written.
// Reports progress to the observer, and the differences in the result.
VerifyPassResult VerifyWrittenBlocks(DeviceLink& link, std::vector<WrittenBlock> blocks,
                                     TransferObserver& observer);

}  // namespace lumivane
