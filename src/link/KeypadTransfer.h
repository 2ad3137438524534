#pragma once
#include <cstdint>

#include "link/KeypadConstants.h"
#include "translator/DownloadState.h"

namespace lumivane {

class DeviceLink;

// The image as the translator left it.
struct TransferImage {
  const std::uint8_t* bytes = nullptr;
  std::uint16_t length = 0;
  int tableSize = 463;  // where the key table ends and the data area begins
};

// Sees the transfer counter move (the index of the next image byte).
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // One progress step of the key table or the data area.
  virtual void OnProgressStep(std::uint16_t counter) = 0;
  // Every image byte has been written; the end command follows.
  virtual void OnDataWritten(std::uint16_t counter) = 0;
  // Asked after every read and every byte written before the end command:
  // true stops the transfer there.
  virtual bool StopRequested() { return false; }
};


// Reads the keypad's control area, places the image in layer 1 or 2 and
// writes it with the key table relocated to the placement. Returns Success,
// NoMemory (the image does not fit) or Timeout (the keypad stopped
// answering, or the link broke). A missing answer to a version byte is
// forgiven; from the layer-1 start on, the first read without an answer
// ends the transfer before anything more is written. Returns None when the
// observer asked it to stop: the end command was not sent.
DownloadState RunTransfer(DeviceLink& link, const TransferImage& image, int layer,
                          TransferObserver& observer);

}  // namespace lumivane
